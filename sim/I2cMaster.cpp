#include "sim/I2cMaster.h"

namespace orvane::sim {

namespace {
constexpr uint8_t kStart = 0xC0;
constexpr uint8_t kStop = 0xA0;
constexpr uint8_t kReceiveAck = 0x80;
constexpr uint8_t kReceiveNoAck = 0x90;
constexpr uint8_t kCommandSend = 1;
constexpr uint8_t kCommandReceive = 3;
// Eight data bits and the acknowledge at 100 kHz.
constexpr uint64_t kByteUs = 90;
} // namespace

bool I2cMaster::Handles(uint8_t reg) const {
  return reg == kControl || reg == kSendByte || reg == kReceivedByte || reg == kTransfer;
}

void I2cMaster::BeginByte() {
  byteStarted_ = true;
  byteDoneUs_ = time_.NowUs() + time_.Scaled(kByteUs);
}

uint8_t I2cMaster::Read(uint8_t reg) {
  switch (reg) {
  case kControl: {
    if (!byteStarted_ || time_.NowUs() < byteDoneUs_)
      return 0;
    return static_cast<uint8_t>(kStatusDone | (lastNak_ ? kStatusNak : 0));
  }
  case kSendByte:
    return sendByte_;
  case kReceivedByte:
    return receivedByte_;
  default:
    return transferCommand_;
  }
}

void I2cMaster::Write(uint8_t reg, uint8_t value) {
  switch (reg) {
  case kControl:
    if (value == kStart)
      bus_.Start();
    else if (value == kStop)
      bus_.Stop();
    else if (value == kReceiveAck)
      ackNextReceive_ = true;
    else if (value == kReceiveNoAck)
      ackNextReceive_ = false;
    break;
  case kSendByte:
    sendByte_ = value;
    if (sendArmed_) {
      sendArmed_ = false;
      lastNak_ = !bus_.Write(value);
      BeginByte();
    }
    break;
  case kTransfer:
    transferCommand_ = value;
    sendArmed_ = value == kCommandSend;
    if (value == kCommandReceive) {
      receivedByte_ = bus_.Read(ackNextReceive_);
      lastNak_ = false;
      BeginByte();
    }
    break;
  default:
    break;
  }
}

void I2cMaster::Reset() {
  bus_.Reset();
  sendByte_ = 0;
  receivedByte_ = 0;
  transferCommand_ = 0;
  sendArmed_ = false;
  ackNextReceive_ = true;
  byteStarted_ = false;
  lastNak_ = false;
  byteDoneUs_ = 0;
}

} // namespace orvane::sim
