#pragma once

#include "usb/DeviceBus.h"

#include <optional>
#include <string>

namespace orvane {

// The device instance named in a Windows-style interface path
// "\\?\usb#vid_3b5d&pid_f0b8#<instance>#{class guid}": the USB serial number
// when the device has one, else an identifier Windows derives from the
// port. It tells two identical devices apart, so it serves as the location.
std::optional<InterfacePlace> PlaceInInterfacePath(const std::string &path);

} // namespace orvane
