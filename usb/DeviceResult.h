#pragma once

#include "usb/DeviceError.h"

#include <utility>

namespace orvane {

// Whether a step on the device went through, and why not when it did not.
// Every function that returns one leaves the caller to act on it.
class [[nodiscard]] DeviceResult {
public:
  static DeviceResult Done() { return DeviceResult(DeviceError{}); }
  // A step that failed; a failure the device layer could not name is
  // still a failure.
  static DeviceResult Failed(DeviceError error) {
    if (error.kind == DeviceErrorKind::None)
      error.kind = DeviceErrorKind::Failed;
    if (error.text.empty())
      error.text = "the device did not take the request";
    return DeviceResult(std::move(error));
  }

  explicit operator bool() const { return error_.kind == DeviceErrorKind::None; }
  const DeviceError &Error() const { return error_; }

private:
  explicit DeviceResult(DeviceError error) : error_(std::move(error)) {}

  DeviceError error_;
};

} // namespace orvane
