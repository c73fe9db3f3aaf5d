#include "panels/RawI2cGroup.h"

#include "isp/HexText.h"
#include "isp/HexTextToInt.h"
#include "panels/I2cDeviceAction.h"

#include <algorithm>

namespace orvane {
namespace {

uint8_t Length(int position) {
  return static_cast<uint8_t>(std::clamp(position, 1, RawI2cGroup::kMaxLength));
}

} // namespace

uint8_t RawI2cGroup::BoxByte(const std::string &text) {
  return static_cast<uint8_t>(HexTextToInt(text, 2));
}

RawI2cGroup::Bytes RawI2cGroup::Collect(bool command, int length) const {
  Bytes bytes{};
  for (int k = 0; k < length; ++k)
    bytes[static_cast<size_t>(k)] = BoxByte(command ? view_.CommandText(k) : view_.DataText(k));
  return bytes;
}

void RawI2cGroup::ShowOutcome(bool opened, bool succeeded, uint64_t failedTransfersBefore) {
  if (!opened)
    view_.ShowStatus(kSpecialI2cNoDevice);
  else if (succeeded)
    view_.ShowStatus(kSpecialI2cDone);
  else if (context_.usb.FailedTransfers() != failedTransfersBefore)
    view_.ShowStatus(kSpecialI2cTransferFailed);
  else
    view_.ShowStatus(kSpecialI2cNoAck);
}

void RawI2cGroup::Write(int commandLength, int dataLength) {
  if (!context_.usb.IsFound())
    return;
  const uint8_t lc = Length(commandLength);
  const uint8_t ld = Length(dataLength);
  const Bytes command = Collect(true, lc);
  const Bytes data = Collect(false, ld);
  const uint64_t failedBefore = context_.usb.FailedTransfers();
  I2cDeviceAction action(context_);
  if (action.Refused()) {
    view_.ShowStatus(kSpecialI2cBusy);
    return;
  }
  const bool written = action.Opened() &&
                       action.Master().I2cWriteBlock(context_.i2c.I2cSlaveAddress, lc, command.data(), ld, data.data());
  ShowOutcome(action.Opened(), written, failedBefore);
}

void RawI2cGroup::Read(int commandLength, int dataLength) {
  if (!context_.usb.IsFound())
    return;
  const uint8_t lc = Length(commandLength);
  const uint8_t ld = Length(dataLength);
  const Bytes command = Collect(true, lc);
  const uint64_t failedBefore = context_.usb.FailedTransfers();
  I2cDeviceAction action(context_);
  if (action.Refused()) {
    view_.ShowStatus(kSpecialI2cBusy);
    return;
  }
  Bytes received{};
  const bool read = action.Opened() &&
                    action.Master().I2cReadBlock(context_.i2c.I2cSlaveAddress, lc, command.data(), ld, received.data());
  if (read)
    for (int k = 0; k < ld; ++k)
      view_.SetDataText(k, Hex2(received[static_cast<size_t>(k)]));
  ShowOutcome(action.Opened(), read, failedBefore);
}

} // namespace orvane
