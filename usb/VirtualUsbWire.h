#pragma once

#include "usb/UsbTransport.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// Messages of the virtual USB device protocol, shared by the device server
// and the client transport. Parsers take untrusted bytes and answer nullopt
// for anything that does not follow the protocol exactly.
namespace orvane::vusb {

inline constexpr size_t kFrameHeaderSize = 4;
inline constexpr uint32_t kMaxBodySize = 65600;
inline constexpr size_t kMaxSerialLength = 64;
inline constexpr size_t kControlRequestHeaderSize = 9;
inline constexpr size_t kControlResponseHeaderSize = 3;

enum class Opcode : uint8_t { Describe = 0x01, Control = 0x02 };

// The 4-byte little-endian body length in front of every body.
std::vector<uint8_t> Frame(std::span<const uint8_t> body);
// The announced body length; nullopt when the header is not 4 bytes or
// announces more than a peer may send.
std::optional<uint32_t> ParseFrameHeader(std::span<const uint8_t> header);

struct Request {
  Opcode opcode = Opcode::Describe;
  SetupPacket setup;            // CONTROL only
  std::vector<uint8_t> outData; // CONTROL OUT only: setup.length bytes
};

std::vector<uint8_t> EncodeDescribeRequest();
// nullopt when an OUT request's data is not exactly setup.length bytes.
std::optional<std::vector<uint8_t>> EncodeControlRequest(const SetupPacket &setup, std::span<const uint8_t> outData);
std::optional<Request> ParseRequest(std::span<const uint8_t> body);

// The serial number is cut to 64 characters and anything but printable
// ASCII becomes '?', so a device model cannot make the server send a
// response its clients must refuse.
std::vector<uint8_t> EncodeDescribeResponse(const UsbDeviceInfo &info);
// location stays empty: the client knows it from the socket name.
std::optional<UsbDeviceInfo> ParseDescribeResponse(std::span<const uint8_t> body);

struct ControlResponse {
  TransferStatus status = TransferStatus::Failed; // Completed, Stalled or Gone
  uint16_t actual = 0;
  std::vector<uint8_t> inData; // IN only: actual bytes
};

// A status other than Completed is sent with actual 0 and no data; Failed
// goes on the wire as a stall, the protocol's only refusal.
std::vector<uint8_t> EncodeControlResponse(TransferStatus status, uint16_t actual, std::span<const uint8_t> inData);
// Checked against the request it answers: actual never above wLength, data
// only for a completed IN request and exactly actual bytes of it.
std::optional<ControlResponse> ParseControlResponse(std::span<const uint8_t> body, const SetupPacket &request);

} // namespace orvane::vusb
