#include "sim/I2cEeprom.h"

#include <algorithm>

namespace orvane::sim {

I2cEeprom::I2cEeprom(DeviceTime &time, uint8_t address) : time_(time), address_(address & 0xFE) {
  memory_.fill(0xFF);
}

void I2cEeprom::Load(uint8_t offset, const uint8_t *bytes, size_t count) {
  std::copy_n(bytes, std::min(count, kBytes - offset), memory_.begin() + offset);
}

bool I2cEeprom::Addressed(bool read) {
  if (InWriteCycle())
    return false;
  phase_ = read ? Phase::Reading : Phase::WordAddress;
  return true;
}

bool I2cEeprom::Receive(uint8_t byte) {
  switch (phase_) {
  case Phase::WordAddress:
    pointer_ = byte;
    phase_ = Phase::Data;
    return true;
  case Phase::Data: {
    // The counter rolls over inside the page, so a long write overwrites its own start.
    const uint8_t page = pointer_ & static_cast<uint8_t>(~(kPageBytes - 1));
    if (latchMask_ != 0 && page != latchPage_)
      latchMask_ = 0;
    latchPage_ = page;
    const uint8_t offset = pointer_ & (kPageBytes - 1);
    latch_[offset] = byte;
    latchMask_ |= static_cast<uint8_t>(1u << offset);
    pointer_ = static_cast<uint8_t>(page | ((offset + 1) & (kPageBytes - 1)));
    return true;
  }
  default:
    return false;
  }
}

uint8_t I2cEeprom::Transmit() {
  if (phase_ != Phase::Reading)
    return 0xFF;
  return memory_[pointer_++];
}

void I2cEeprom::Restart() {
  // Only a stop condition starts the write cycle; data latched before a new start is dropped.
  latchMask_ = 0;
  phase_ = Phase::Idle;
}

void I2cEeprom::Stop() {
  phase_ = Phase::Idle;
  if (latchMask_ == 0)
    return;
  for (uint8_t i = 0; i < kPageBytes; ++i)
    if (latchMask_ & (1u << i))
      memory_[latchPage_ | i] = latch_[i];
  latchMask_ = 0;
  writeCycleEndUs_ = time_.NowUs() + time_.Scaled(kWriteCycleUs);
}

} // namespace orvane::sim
