#pragma once

#include "sim/DeviceTime.h"
#include "sim/I2cBus.h"
#include "sim/RegisterWindow.h"

#include <cstdint>

namespace orvane::sim {

// The chip's I2C master as its registers show it: a control register for
// start, stop and the acknowledge of the next received byte (its read side
// is the status: bit 0 byte finished, bit 3 not acknowledged), a byte to
// send, the byte received, and a transfer command that arms a send (the
// byte goes when the send register is written) or starts a receive.
class I2cMaster final : public RegisterHandler {
public:
  static constexpr uint8_t kControl = 0x10;
  static constexpr uint8_t kClock = 0x11;
  static constexpr uint8_t kSendByte = 0x12;
  static constexpr uint8_t kReceivedByte = 0x13;
  static constexpr uint8_t kTransfer = 0x14;
  static constexpr uint8_t kStatusDone = 0x01;
  static constexpr uint8_t kStatusNak = 0x08;

  I2cMaster(I2cBus &bus, DeviceTime &time) : bus_(bus), time_(time) {}

  bool Handles(uint8_t reg) const override;
  uint8_t Read(uint8_t reg) override;
  void Write(uint8_t reg, uint8_t value) override;
  void Reset();

private:
  void BeginByte();

  I2cBus &bus_;
  DeviceTime &time_;
  uint8_t sendByte_ = 0;
  uint8_t receivedByte_ = 0;
  uint8_t transferCommand_ = 0;
  bool sendArmed_ = false;
  bool ackNextReceive_ = true;
  bool byteStarted_ = false;
  bool lastNak_ = false;
  uint64_t byteDoneUs_ = 0;
};

} // namespace orvane::sim
