#include "usb/VirtualUsbSession.h"

#include "usb/DeviceDescriptor.h"
#include "usb/VirtualUsbWire.h"

#include <algorithm>

namespace orvane {

std::optional<std::vector<uint8_t>> VirtualUsbSession::Answer(std::span<const uint8_t> body) {
  const auto request = vusb::ParseRequest(body);
  if (!request)
    return std::nullopt;
  if (request->opcode == vusb::Opcode::Describe)
    return vusb::EncodeDescribeResponse(device_.Describe());
  const SetupPacket &setup = request->setup;
  if (!device_.Present() || device_.Generation() != generation_)
    return vusb::EncodeControlResponse(TransferStatus::Gone, 0, {});
  std::vector<uint8_t> data(setup.length);
  if (!setup.isIn())
    std::copy(request->outData.begin(), request->outData.end(), data.begin());
  const TransferResult result = ServeControl(device_, setup, data.data());
  const auto actual = static_cast<uint16_t>(result.actual);
  const std::span<const uint8_t> inData =
      setup.isIn() ? std::span<const uint8_t>(data.data(), actual) : std::span<const uint8_t>{};
  return vusb::EncodeControlResponse(result.status, actual, inData);
}

std::optional<std::vector<std::vector<uint8_t>>> VirtualUsbSession::Receive(std::span<const uint8_t> bytes) {
  input_.insert(input_.end(), bytes.begin(), bytes.end());
  std::vector<std::vector<uint8_t>> responses;
  size_t consumed = 0;
  while (input_.size() - consumed >= vusb::kFrameHeaderSize) {
    const std::span<const uint8_t> pending(input_.data() + consumed, input_.size() - consumed);
    const auto bodyLength = vusb::ParseFrameHeader(pending.first(vusb::kFrameHeaderSize));
    if (!bodyLength)
      return std::nullopt;
    if (pending.size() < vusb::kFrameHeaderSize + *bodyLength)
      break;
    const auto response = Answer(pending.subspan(vusb::kFrameHeaderSize, *bodyLength));
    if (!response)
      return std::nullopt;
    responses.push_back(vusb::Frame(*response));
    consumed += vusb::kFrameHeaderSize + *bodyLength;
  }
  input_.erase(input_.begin(), input_.begin() + static_cast<ptrdiff_t>(consumed));
  return responses;
}

} // namespace orvane
