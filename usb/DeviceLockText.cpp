#include "usb/DeviceLock.h"

// The lock's names and texts, the same on every platform.

namespace orvane {

std::string DeviceLock::FileName(const std::string &key) {
  std::string name = "orvane-device-";
  for (const char c : key) {
    const bool safe =
        (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
    name += safe ? c : '_';
  }
  return name + ".lock";
}

std::string DeviceLock::BusyMessage() const {
  return "device busy: another update is running" + (holder_ > 0 ? " (pid " + std::to_string(holder_) + ")" : "");
}

} // namespace orvane
