#pragma once

#include "usb/VirtualDevice.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace orvane {

// The server's side of one connection to a virtual device, apart from how
// the bytes travel: it collects what the client sends and answers each
// whole request, in order. The device's generation when the connection
// opened tells later requests that the device re-enumerated since.
class VirtualUsbSession {
public:
  explicit VirtualUsbSession(VirtualDevice &device) : device_(device), generation_(device.Generation()) {}

  // Takes received bytes and answers every request they complete, as
  // response frames in order; nullopt when a frame does not parse, and the
  // connection is to be closed.
  std::optional<std::vector<std::vector<uint8_t>>> Receive(std::span<const uint8_t> bytes);

private:
  std::optional<std::vector<uint8_t>> Answer(std::span<const uint8_t> body);

  VirtualDevice &device_;
  uint64_t generation_;
  std::vector<uint8_t> input_;
};

} // namespace orvane
