#include "usb/VirtualDeviceName.h"

namespace orvane {

bool IsValidVirtualDeviceName(std::string_view name) {
  if (name.empty() || name.size() > 64)
    return false;
  for (const char c : name) {
    const bool allowed =
        (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '.' || c == '-';
    if (!allowed)
      return false;
  }
  return true;
}

} // namespace orvane
