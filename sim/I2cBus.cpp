#include "sim/I2cBus.h"

namespace orvane::sim {

namespace {
constexpr uint8_t kReleasedBus = 0xFF;
}

I2cSlave *I2cBus::SlaveAt(uint8_t address) const {
  for (I2cSlave *slave : slaves_)
    if (slave->Address() == (address & 0xFE))
      return slave;
  return nullptr;
}

bool I2cBus::Acknowledges(const I2cSlave &slave) {
  auto silenced = silencing_.find(slave.Address());
  if (silenced == silencing_.end())
    return true;
  if (silenced->second == 0)
    return false;
  --silenced->second;
  return true;
}

void I2cBus::Start() {
  if (selected_)
    selected_->Restart();
  selected_ = nullptr;
  phase_ = Phase::AddressNext;
}

bool I2cBus::Write(uint8_t byte) {
  switch (phase_) {
  case Phase::AddressNext: {
    I2cSlave *slave = SlaveAt(byte);
    const bool read = (byte & 0x01) != 0;
    if (!slave || !Acknowledges(*slave) || !slave->Addressed(read)) {
      phase_ = Phase::Idle;
      return false;
    }
    selected_ = slave;
    phase_ = read ? Phase::Reading : Phase::Writing;
    return true;
  }
  case Phase::Writing:
    if (!Acknowledges(*selected_)) {
      phase_ = Phase::Idle;
      return false;
    }
    return selected_->Receive(byte);
  default:
    // Nobody listens: no start condition, an unanswered address, or a slave that is transmitting.
    return false;
  }
}

uint8_t I2cBus::Read(bool acknowledge) {
  if (phase_ != Phase::Reading)
    return kReleasedBus;
  auto silenced = silencing_.find(selected_->Address());
  if (silenced != silencing_.end() && silenced->second == 0)
    return kReleasedBus;
  const uint8_t byte = selected_->Transmit();
  if (!acknowledge)
    phase_ = Phase::Idle; // the slave releases the bus after a not-acknowledged byte
  return byte;
}

void I2cBus::Stop() {
  if (selected_)
    selected_->Stop();
  selected_ = nullptr;
  phase_ = Phase::Idle;
}

void I2cBus::Reset() {
  selected_ = nullptr;
  phase_ = Phase::Idle;
}

} // namespace orvane::sim
