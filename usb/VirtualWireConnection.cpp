#include "usb/VirtualWireConnection.h"

#include "usb/VirtualUsbWire.h"

#include <cstring>

namespace orvane {

TransferResult VirtualWireConnection::Control(const SetupPacket &setup, uint8_t *data) {
  // A connection dropped after a time-out stays silent: the device behind
  // it may still be there and answer a new one.
  if (silent_)
    return {TransferStatus::Failed, 0};
  // A connection the server closed does not come back: the device is gone for it.
  if (!WireOpen())
    return {TransferStatus::Gone, 0};
  if (setup.length && !data)
    return {TransferStatus::Failed, 0};
  const auto outData = setup.isIn() ? std::span<const uint8_t>{} : std::span<const uint8_t>(data, setup.length);
  const auto request = vusb::EncodeControlRequest(setup, outData);
  if (!request)
    return {TransferStatus::Failed, 0};
  const Answer answer = Exchange(*request);
  const auto response = answer.body ? vusb::ParseControlResponse(*answer.body, setup) : std::nullopt;
  if (!response) {
    // Out of step with the server (or it is gone): a late answer must not
    // be taken for the answer of the next request.
    CloseWire();
    silent_ = answer.timedOut;
    return {silent_ ? TransferStatus::Failed : TransferStatus::Gone, 0};
  }
  if (setup.isIn() && !response->inData.empty())
    std::memcpy(data, response->inData.data(), response->inData.size());
  return {response->status, response->actual};
}

} // namespace orvane
