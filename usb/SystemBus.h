#pragma once

#include "usb/DeviceBus.h"

#include <memory>

namespace orvane {

// The program's device bus. On Linux: real USB devices and virtual devices
// listed together, behind the emulated kernel drivers. On Windows: the
// vendor's kernel drivers themselves, through SetupAPI and DeviceIoControl.
std::unique_ptr<DeviceBus> CreateSystemBus();

} // namespace orvane
