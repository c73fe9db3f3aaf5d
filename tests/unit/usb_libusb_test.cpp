#include "usb/LibusbTransport.h"

#include <gtest/gtest.h>

#include <set>

namespace orvane {
namespace {

TEST(LibusbTransportTest, LocationIsBusAndPortPath) {
  const uint8_t ports[] = {4, 2, 11};
  EXPECT_EQ(LibusbLocation(1, ports), "1-4.2.11");
  EXPECT_EQ(LibusbLocation(3, std::span<const uint8_t>(ports, 1)), "3-4");
  EXPECT_EQ(LibusbLocation(2, {}), "usb2");
}

TEST(LibusbTransportTest, AudioInterfaceInAnyAlternateSetting) {
  libusb_interface_descriptor hid{};
  hid.bInterfaceClass = 3;
  libusb_interface_descriptor audioControl{};
  audioControl.bInterfaceClass = 1;
  libusb_interface_descriptor vendorThenAudio[2] = {{}, audioControl};
  vendorThenAudio[0].bInterfaceClass = 0xFF;

  libusb_interface interfaces[2] = {};
  interfaces[0].altsetting = &hid;
  interfaces[0].num_altsetting = 1;
  interfaces[1].altsetting = vendorThenAudio;
  interfaces[1].num_altsetting = 2;

  libusb_config_descriptor config{};
  config.interface = interfaces;
  config.bNumInterfaces = 1;
  EXPECT_FALSE(HasAudioInterface(config));
  config.bNumInterfaces = 2;
  EXPECT_TRUE(HasAudioInterface(config));
  interfaces[1].num_altsetting = 1;
  EXPECT_FALSE(HasAudioInterface(config));
}

TEST(LibusbTransportTest, ListedDevicesHaveDistinctLocationsAndUnknownOnesDoNotOpen) {
  LibusbTransport transport;
  std::set<std::string> locations;
  for (const UsbDeviceInfo &device : transport.Enumerate())
    EXPECT_TRUE(locations.insert(device.location).second) << device.location;
  DeviceError error;
  EXPECT_FALSE(transport.Connect("99-9.9.9", &error));
  EXPECT_FALSE(error.text.empty());
}

} // namespace
} // namespace orvane
