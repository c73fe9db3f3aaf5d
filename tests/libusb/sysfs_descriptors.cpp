#include "sysfs_descriptors.h"

#include "usb/DeviceDescriptor.h"

namespace orvane::libusb_test {

namespace {

constexpr uint8_t kConfigurationType = 2;
constexpr uint8_t kInterfaceType = 4;
constexpr uint8_t kEndpointType = 5;
constexpr uint8_t kAudioClass = 1;
constexpr uint8_t kAudioControl = 1;
constexpr uint8_t kAudioStreaming = 2;
constexpr uint8_t kVendorClass = 0xFF;
constexpr uint8_t kHubClass = 9;

void Interface(std::vector<uint8_t> &out, uint8_t number, uint8_t alternate, uint8_t endpoints, uint8_t cls,
               uint8_t subclass) {
  out.insert(out.end(), {9, kInterfaceType, number, alternate, endpoints, cls, subclass, 0, 0});
}

void Endpoint(std::vector<uint8_t> &out, uint8_t address, uint8_t attributes, uint16_t maxPacket, uint8_t interval) {
  out.insert(out.end(), {7, kEndpointType, address, attributes, static_cast<uint8_t>(maxPacket & 0xFF),
                         static_cast<uint8_t>(maxPacket >> 8), interval});
}

// The configuration header in front of its interfaces, with the total length filled in.
std::vector<uint8_t> Configuration(uint8_t interfaces, const std::vector<uint8_t> &body) {
  const auto total = static_cast<uint16_t>(9 + body.size());
  std::vector<uint8_t> out = {9,
                              kConfigurationType,
                              static_cast<uint8_t>(total & 0xFF),
                              static_cast<uint8_t>(total >> 8),
                              interfaces,
                              1,
                              0,
                              0x80,
                              50};
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

std::vector<uint8_t> Join(const UsbDeviceInfo &device, const std::vector<uint8_t> &configuration) {
  const auto descriptor = BuildDeviceDescriptor(device);
  std::vector<uint8_t> out(descriptor.begin(), descriptor.end());
  out.insert(out.end(), configuration.begin(), configuration.end());
  return out;
}

} // namespace

std::vector<uint8_t> SysfsDescriptors(const UsbDeviceInfo &device) {
  std::vector<uint8_t> body;
  if (device.hasAudioInterface) {
    Interface(body, 0, 0, 0, kAudioClass, kAudioControl);
    Interface(body, 1, 0, 0, kAudioClass, kAudioStreaming);
    Interface(body, 1, 1, 1, kAudioClass, kAudioStreaming);
    Endpoint(body, 0x01, 0x09, 192, 1); // isochronous, adaptive: the playback stream
    return Join(device, Configuration(2, body));
  }
  Interface(body, 0, 0, 0, kVendorClass, 0);
  return Join(device, Configuration(1, body));
}

std::vector<uint8_t> HubDescriptors(uint16_t vendorId, uint16_t productId) {
  UsbDeviceInfo hub;
  hub.vendorId = vendorId;
  hub.productId = productId;
  hub.bcdDevice = 0x0100;
  std::vector<uint8_t> out = Join(hub, {});
  out[4] = kHubClass; // bDeviceClass
  std::vector<uint8_t> body;
  Interface(body, 0, 0, 1, kHubClass, 0);
  Endpoint(body, 0x81, 0x03, 4, 12); // interrupt: port status changes
  const auto configuration = Configuration(1, body);
  out.insert(out.end(), configuration.begin(), configuration.end());
  return out;
}

} // namespace orvane::libusb_test
