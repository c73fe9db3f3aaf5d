#include "usb/SystemBus.h"

#include "usb/windows/WindowsDeviceBus.h"

namespace orvane {

std::unique_ptr<DeviceBus> CreateSystemBus() {
  return std::make_unique<WindowsDeviceBus>();
}

} // namespace orvane
