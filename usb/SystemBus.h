#pragma once

#include "usb/DeviceBus.h"

#include <memory>

namespace orvane {

// The program's device bus. On Linux: real USB devices and virtual devices
// listed together as the kernel drivers would list them, each setup packet
// sent as it is. On Windows: the vendor's kernel drivers themselves,
// through SetupAPI and DeviceIoControl, with the virtual devices beside.
std::unique_ptr<DeviceBus> CreateSystemBus();

} // namespace orvane
