#pragma once

#include "usb/DeviceBus.h"

#include <memory>

namespace orvane {

// The program's device bus: real USB devices and virtual devices listed
// together, behind the emulated kernel drivers.
std::unique_ptr<DeviceBus> CreateSystemBus();

} // namespace orvane
