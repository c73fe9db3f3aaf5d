#pragma once

#include "usb/UsbTransport.h"

#include <libusb.h>

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace orvane {

// Real USB hardware through libusb-1.0. Every present device is listed;
// control transfers go to endpoint 0 without claiming an interface or
// detaching a kernel driver, so vendor requests reach a device whose audio
// driver stays bound. Locations are bus and port path ("1-4.2").
class LibusbTransport final : public UsbTransport {
public:
  // No transfer here is longer than 256 bytes: one that has not ended in a
  // second is stuck, and three in a row mean a device that stopped answering.
  static constexpr unsigned kTransferTimeoutMs = 1000;

  explicit LibusbTransport(unsigned timeoutMs = kTransferTimeoutMs);
  ~LibusbTransport() override;

  std::string Name() const override { return "usb"; }
  std::vector<UsbDeviceInfo> Enumerate() override;
  std::unique_ptr<UsbConnection> Connect(const std::string &location, DeviceError *error) override;
  // On the device's usbfs node, which everyone who may open the device can
  // open and lock, whatever their environment.
  std::optional<DeviceLock::Outcome> LockDevice(const std::string &location, DeviceLock &lock,
                                                DeviceError *error) override;

  struct Context;

private:
  // Made on first use; nullptr (no devices) when libusb cannot start here.
  std::shared_ptr<Context> GetContext();

  unsigned timeoutMs_;
  std::shared_ptr<Context> context_;
  bool contextFailed_ = false;
};

// "<bus>-<port>.<port>..." as the kernel names USB devices; "usb<bus>" for a
// root hub, which has no port.
std::string LibusbLocation(uint8_t busNumber, std::span<const uint8_t> portPath);

// "/dev/bus/usb/001/005": the node through which the device is opened.
std::string UsbfsNodePath(uint8_t busNumber, uint8_t address);

// Whether any alternate setting of the configuration is of the audio class.
bool HasAudioInterface(const libusb_config_descriptor &config);

} // namespace orvane
