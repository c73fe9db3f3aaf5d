#pragma once

#include <cstdint>
#include <string>

namespace orvane {

// What went wrong on the way to a device, for the layers above to act on
// and to choose their advice by; the text says it in words for messages.
enum class DeviceErrorKind : uint8_t {
  None,         // nothing failed
  AccessDenied, // the system refuses this user the USB device
  Busy,         // another program holds the device
  LockFailed,   // the device's lock cannot be taken at all, so nothing may use it
  NoDevice,     // no present device answers to the path or location
  Gone,         // the device went away: unplugged or re-enumerated
  Stalled,      // the device rejected the request
  Failed,       // anything else: a transport error, a time-out, a refused call
};

struct DeviceError {
  DeviceErrorKind kind = DeviceErrorKind::None;
  std::string text;

  bool operator==(const DeviceError &) const = default;
};

} // namespace orvane
