#include "usb/SystemBus.h"

#include "usb/CombinedDeviceBus.h"
#include "usb/EmulatedDriverBus.h"
#include "usb/VirtualUsbTransport.h"
#include "usb/windows/WindowsDeviceBus.h"

namespace orvane {

// The vendor's drivers for real devices, and next to them the virtual
// devices behind the same emulated drivers as on Linux.
std::unique_ptr<DeviceBus> CreateSystemBus() {
  auto bus = std::make_unique<CombinedDeviceBus>();
  bus->Add(std::make_unique<WindowsDeviceBus>());
  auto virtualDevices = std::make_unique<EmulatedDriverBus>();
  virtualDevices->AddTransport(std::make_unique<VirtualUsbTransport>());
  bus->Add(std::move(virtualDevices));
  return bus;
}

} // namespace orvane
