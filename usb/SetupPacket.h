#pragma once

#include <cstdint>

namespace orvane {

// A USB control transfer's setup stage: what the program asks of a device,
// the same on every back-end.
struct SetupPacket {
  uint8_t requestType = 0; // bit 7 set: device-to-host (IN)
  uint8_t request = 0;
  uint16_t value = 0;
  uint16_t index = 0;
  uint16_t length = 0;

  bool isIn() const { return (requestType & 0x80) != 0; }
  bool operator==(const SetupPacket &) const = default;
};

// The driver's probe through the generic USB driver: the device descriptor
// (18 bytes). A device that answers it is there and takes requests.
inline constexpr SetupPacket kDescriptorProbe{0x80, 0x06, 0x0100, 1, 18};

} // namespace orvane
