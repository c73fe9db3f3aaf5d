#include "usb/SystemBus.h"

#include "usb/EmulatedDriverBus.h"
#include "usb/LibusbTransport.h"
#include "usb/VirtualUsbTransport.h"

namespace orvane {

std::unique_ptr<DeviceBus> CreateSystemBus() {
  auto bus = std::make_unique<EmulatedDriverBus>();
  bus->AddTransport(std::make_unique<LibusbTransport>());
  bus->AddTransport(std::make_unique<VirtualUsbTransport>());
  return bus;
}

} // namespace orvane
