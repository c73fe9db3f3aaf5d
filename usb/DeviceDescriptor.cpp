#include "usb/DeviceDescriptor.h"

#include "usb/LittleEndian.h"

#include <algorithm>
#include <cstring>

namespace orvane {

namespace {

constexpr uint8_t kRequestGetDescriptor = 6;
constexpr uint16_t kDescriptorTypeDevice = 1;

} // namespace

std::array<uint8_t, kDeviceDescriptorSize> BuildDeviceDescriptor(const UsbDeviceInfo &info) {
  std::array<uint8_t, kDeviceDescriptorSize> d{};
  d[0] = kDeviceDescriptorSize;
  d[1] = kDescriptorTypeDevice;
  PutLe16(&d[2], 0x0200); // USB 2.0
  d[4] = 0;               // class given per interface
  d[5] = 0;
  d[6] = 0;
  d[7] = 64; // endpoint 0 packet size
  PutLe16(&d[8], info.vendorId);
  PutLe16(&d[10], info.productId);
  PutLe16(&d[12], info.bcdDevice);
  d[14] = 1; // manufacturer string
  d[15] = 2; // product string
  d[16] = info.serial.empty() ? 0 : 3;
  d[17] = 1; // configurations
  return d;
}

bool IsDeviceDescriptorRequest(const SetupPacket &setup) {
  return setup.requestType == 0x80 && setup.request == kRequestGetDescriptor &&
         setup.value == (kDescriptorTypeDevice << 8);
}

TransferResult ServeControl(VirtualDevice &device, const SetupPacket &setup, uint8_t *data) {
  if (IsDeviceDescriptorRequest(setup)) {
    const auto descriptor = BuildDeviceDescriptor(device.Describe());
    const size_t actual = std::min<size_t>(setup.length, descriptor.size());
    if (actual)
      std::memcpy(data, descriptor.data(), actual);
    return {TransferStatus::Completed, actual};
  }
  TransferResult result = device.Control(setup, data);
  if (result.ok() && result.actual > setup.length)
    return {TransferStatus::Failed, 0};
  if (!result.ok())
    result.actual = 0;
  return result;
}

} // namespace orvane
