#pragma once

#include "usb/UsbTransport.h"

#include <cstdint>
#include <vector>

namespace orvane::libusb_test {

// What the kernel keeps in a USB device's sysfs "descriptors" file: the
// device descriptor followed by the active configuration with its
// interfaces. A device with an audio interface gets an audio control
// interface and a streaming interface with an idle and an active setting;
// one without gets a single vendor-specific interface, as the bridge chip
// shows in firmware-update mode.
std::vector<uint8_t> SysfsDescriptors(const UsbDeviceInfo &device);

// The same for a hub, as the root hub and any hub between it and a device.
std::vector<uint8_t> HubDescriptors(uint16_t vendorId, uint16_t productId);

} // namespace orvane::libusb_test
