#include "usb/VirtualUsbWire.h"

#include "usb/LittleEndian.h"

#include <algorithm>

namespace orvane::vusb {

namespace {

constexpr uint8_t kDescribeFlagAudioInterface = 0x01;
constexpr size_t kDescribeResponseHeaderSize = 9;

bool IsPrintableAscii(uint8_t c) {
  return c >= 0x20 && c <= 0x7E;
}

} // namespace

std::vector<uint8_t> Frame(std::span<const uint8_t> body) {
  std::vector<uint8_t> frame(kFrameHeaderSize + body.size());
  PutLe32(frame.data(), static_cast<uint32_t>(body.size()));
  std::copy(body.begin(), body.end(), frame.begin() + kFrameHeaderSize);
  return frame;
}

std::optional<uint32_t> ParseFrameHeader(std::span<const uint8_t> header) {
  if (header.size() != kFrameHeaderSize)
    return std::nullopt;
  const uint32_t length = GetLe32(header.data());
  if (length > kMaxBodySize)
    return std::nullopt;
  return length;
}

std::vector<uint8_t> EncodeDescribeRequest() {
  return {static_cast<uint8_t>(Opcode::Describe)};
}

std::optional<std::vector<uint8_t>> EncodeControlRequest(const SetupPacket &setup, std::span<const uint8_t> outData) {
  const size_t dataSize = setup.isIn() ? 0 : setup.length;
  if (!setup.isIn() && outData.size() != setup.length)
    return std::nullopt;
  std::vector<uint8_t> body(kControlRequestHeaderSize + dataSize);
  body[0] = static_cast<uint8_t>(Opcode::Control);
  body[1] = setup.requestType;
  body[2] = setup.request;
  PutLe16(&body[3], setup.value);
  PutLe16(&body[5], setup.index);
  PutLe16(&body[7], setup.length);
  if (dataSize)
    std::copy(outData.begin(), outData.end(), body.begin() + kControlRequestHeaderSize);
  return body;
}

std::optional<Request> ParseRequest(std::span<const uint8_t> body) {
  if (body.empty())
    return std::nullopt;
  Request request;
  if (body[0] == static_cast<uint8_t>(Opcode::Describe)) {
    if (body.size() != 1)
      return std::nullopt;
    request.opcode = Opcode::Describe;
    return request;
  }
  if (body[0] != static_cast<uint8_t>(Opcode::Control) || body.size() < kControlRequestHeaderSize)
    return std::nullopt;
  request.opcode = Opcode::Control;
  request.setup.requestType = body[1];
  request.setup.request = body[2];
  request.setup.value = GetLe16(&body[3]);
  request.setup.index = GetLe16(&body[5]);
  request.setup.length = GetLe16(&body[7]);
  const size_t dataSize = request.setup.isIn() ? 0 : request.setup.length;
  if (body.size() != kControlRequestHeaderSize + dataSize)
    return std::nullopt;
  request.outData.assign(body.begin() + kControlRequestHeaderSize, body.end());
  return request;
}

std::vector<uint8_t> EncodeDescribeResponse(const UsbDeviceInfo &info) {
  const size_t serialLength = std::min(info.serial.size(), kMaxSerialLength);
  std::vector<uint8_t> body(kDescribeResponseHeaderSize + serialLength);
  body[0] = 0;
  PutLe16(&body[1], info.vendorId);
  PutLe16(&body[3], info.productId);
  PutLe16(&body[5], info.bcdDevice);
  body[7] = info.hasAudioInterface ? kDescribeFlagAudioInterface : 0;
  body[8] = static_cast<uint8_t>(serialLength);
  for (size_t i = 0; i < serialLength; ++i) {
    const auto c = static_cast<uint8_t>(info.serial[i]);
    body[kDescribeResponseHeaderSize + i] = IsPrintableAscii(c) ? c : '?';
  }
  return body;
}

std::optional<UsbDeviceInfo> ParseDescribeResponse(std::span<const uint8_t> body) {
  if (body.size() < kDescribeResponseHeaderSize || body[0] != 0)
    return std::nullopt;
  const size_t serialLength = body[8];
  if (serialLength > kMaxSerialLength || body.size() != kDescribeResponseHeaderSize + serialLength)
    return std::nullopt;
  UsbDeviceInfo info;
  info.vendorId = GetLe16(&body[1]);
  info.productId = GetLe16(&body[3]);
  info.bcdDevice = GetLe16(&body[5]);
  // Flag bits this client does not know are left alone rather than refused.
  info.hasAudioInterface = (body[7] & kDescribeFlagAudioInterface) != 0;
  for (size_t i = 0; i < serialLength; ++i) {
    const uint8_t c = body[kDescribeResponseHeaderSize + i];
    if (!IsPrintableAscii(c))
      return std::nullopt;
    info.serial.push_back(static_cast<char>(c));
  }
  return info;
}

std::vector<uint8_t> EncodeControlResponse(TransferStatus status, uint16_t actual, std::span<const uint8_t> inData) {
  uint8_t wireStatus = 1;
  if (status == TransferStatus::Completed)
    wireStatus = 0;
  else if (status == TransferStatus::Gone)
    wireStatus = 2;
  if (wireStatus != 0) {
    actual = 0;
    inData = {};
  }
  std::vector<uint8_t> body(kControlResponseHeaderSize + inData.size());
  body[0] = wireStatus;
  PutLe16(&body[1], actual);
  std::copy(inData.begin(), inData.end(), body.begin() + kControlResponseHeaderSize);
  return body;
}

std::optional<ControlResponse> ParseControlResponse(std::span<const uint8_t> body, const SetupPacket &request) {
  if (body.size() < kControlResponseHeaderSize)
    return std::nullopt;
  ControlResponse response;
  switch (body[0]) {
  case 0:
    response.status = TransferStatus::Completed;
    break;
  case 1:
    response.status = TransferStatus::Stalled;
    break;
  case 2:
    response.status = TransferStatus::Gone;
    break;
  default:
    return std::nullopt;
  }
  response.actual = GetLe16(&body[1]);
  if (response.status != TransferStatus::Completed) {
    if (response.actual != 0 || body.size() != kControlResponseHeaderSize)
      return std::nullopt;
    return response;
  }
  if (response.actual > request.length)
    return std::nullopt;
  const size_t dataSize = request.isIn() ? response.actual : 0;
  if (body.size() != kControlResponseHeaderSize + dataSize)
    return std::nullopt;
  response.inData.assign(body.begin() + kControlResponseHeaderSize, body.end());
  return response;
}

} // namespace orvane::vusb
