// Messages of the virtual USB device protocol from an untrusted peer: the
// parsers take exactly what the encoders make, byte for byte.

#include "usb/VirtualUsbWire.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

using namespace orvane;

void Expect(bool condition) {
  if (!condition)
    std::abort();
}

bool Same(const std::vector<uint8_t> &built, std::span<const uint8_t> body) {
  return std::equal(built.begin(), built.end(), body.begin(), body.end());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::span<const uint8_t> input(data, size);

  // A stream of frames as a server reads it.
  size_t at = 0;
  while (size - at >= vusb::kFrameHeaderSize) {
    const auto length = vusb::ParseFrameHeader(input.subspan(at, vusb::kFrameHeaderSize));
    if (!length)
      break;
    Expect(*length <= vusb::kMaxBodySize);
    if (size - at - vusb::kFrameHeaderSize < *length)
      break;
    const auto body = input.subspan(at + vusb::kFrameHeaderSize, *length);
    if (const auto request = vusb::ParseRequest(body)) {
      if (request->opcode == vusb::Opcode::Describe) {
        Expect(Same(vusb::EncodeDescribeRequest(), body));
      } else {
        const auto encoded = vusb::EncodeControlRequest(request->setup, request->outData);
        Expect(encoded && Same(*encoded, body));
      }
    }
    at += vusb::kFrameHeaderSize + *length;
  }

  // The whole input as a response body, answering a request taken from its
  // first bytes as a client would check it.
  if (const auto info = vusb::ParseDescribeResponse(input)) {
    Expect(info->serial.size() <= vusb::kMaxSerialLength);
    // Flag bits the client does not know are passed over, not kept.
    std::vector<uint8_t> known(input.begin(), input.end());
    known[7] &= 0x01;
    const auto encoded = vusb::EncodeDescribeResponse(*info);
    Expect(encoded == known);
  }
  if (size >= 7) {
    const SetupPacket setup{data[0], data[1], static_cast<uint16_t>(data[2] | data[3] << 8),
                            static_cast<uint16_t>(data[4] | data[5] << 8), static_cast<uint16_t>(data[6] << 4)};
    const auto body = input.subspan(7);
    if (const auto response = vusb::ParseControlResponse(body, setup)) {
      Expect(response->actual <= setup.length);
      Expect(response->inData.size() ==
             (setup.isIn() && response->status == TransferStatus::Completed ? response->actual : 0u));
      Expect(Same(vusb::EncodeControlResponse(response->status, response->actual, response->inData), body));
    }
  }
  return 0;
}
