#pragma once

#include "usb/UnixSocket.h"
#include "usb/VirtualDeviceName.h"

#include <string>
#include <string_view>

namespace orvane {

// VirtualDeviceDirectory() itself is declared in usb/VirtualUsbServer.h.

inline constexpr std::string_view kVirtualSocketSuffix = ".sock";
// "<name>.lock" beside a device's socket: the file every client locks
// before it acts on the device. Clients make it; nobody removes it, as a
// lock file made anew under a holder would let a second holder in.
inline constexpr std::string_view kVirtualLockSuffix = ".lock";

// Opens the directory only when it may hold devices: a real directory (not
// a symbolic link), owned by our uid, with no group or other permission
// bits. Otherwise invalid, with the reason in *why. Checking the opened
// directory, not the name, leaves no gap for swapping it in between.
UniqueFd OpenPrivateDirectory(const std::string &path, std::string *why);

} // namespace orvane
