#pragma once

#include <string_view>

namespace orvane {

// [A-Za-z0-9_.-]{1,64}: a virtual device's name, which goes into file
// names and device paths on every system.
bool IsValidVirtualDeviceName(std::string_view name);

} // namespace orvane
