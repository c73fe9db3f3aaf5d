#pragma once

#include "panels/I2cPanelContext.h"
#include "panels/RawI2cView.h"

#include <array>
#include <cstdint>
#include <string>

namespace orvane {

inline constexpr const char *kSpecialI2cDone = "OK";
inline constexpr const char *kSpecialI2cNoAck = "No acknowledge";
inline constexpr const char *kSpecialI2cTransferFailed = "USB transfer failed";
inline constexpr const char *kSpecialI2cNoDevice = "Device not open";
inline constexpr const char *kSpecialI2cBusy = "Busy";

// One free-form transaction with the slave: 1 to 5 command bytes, then 1
// to 5 data bytes written or read. Byte boxes count by their first two
// characters as hexadecimal digits, anything else as 0, so there is no
// conversion error here.
class RawI2cGroup {
public:
  static constexpr int kMaxLength = 5;

  RawI2cGroup(I2cPanelContext context, RawI2cView &view) : context_(context), view_(view) {}

  void Write(int commandLength, int dataLength);
  // The data boxes change only when the read went through.
  void Read(int commandLength, int dataLength);

  // A byte box's value.
  static uint8_t BoxByte(const std::string &text);

private:
  using Bytes = std::array<uint8_t, kMaxLength>;
  Bytes Collect(bool command, int length) const;
  // The outcome text. A transaction that failed with every transfer
  // through was not acknowledged; one whose transfers failed (a device
  // gone after Open) says so instead.
  void ShowOutcome(bool opened, bool succeeded, uint64_t failedTransfersBefore);

  I2cPanelContext context_;
  RawI2cView &view_;
};

} // namespace orvane
