#pragma once

#include "usb/UsbTransport.h"
#include "usb/VirtualDevice.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace orvane {

inline constexpr size_t kDeviceDescriptorSize = 18;

// The standard 18-byte USB device descriptor of a device model's identity.
std::array<uint8_t, kDeviceDescriptorSize> BuildDeviceDescriptor(const UsbDeviceInfo &info);

// GET_DESCRIPTOR for the device descriptor, any language index.
bool IsDeviceDescriptorRequest(const SetupPacket &setup);

// One transfer to a device model, the way every virtual device is served:
// the device descriptor comes from Describe(), so it always agrees with
// the listed identity and every model answers the drivers' probes; the
// rest goes to the model. data holds setup.length bytes. A model that
// claims to have moved more than that has failed.
TransferResult ServeControl(VirtualDevice &device, const SetupPacket &setup, uint8_t *data);

} // namespace orvane
