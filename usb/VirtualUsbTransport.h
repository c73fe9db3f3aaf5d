#pragma once

#include "usb/UsbTransport.h"

#include <string>

namespace orvane {

// Client of the virtual USB device protocol: every socket in the virtual
// device directory that passes the security checks is one device.
// Locations are the device names (the socket names without ".sock").
class VirtualUsbTransport final : public UsbTransport {
public:
  struct Timeouts {
    int describeMs = 1000; // per device while listing
    int controlMs = 5000;  // one whole control transfer
  };

  // directory empty = VirtualDeviceDirectory(), looked up at every call.
  explicit VirtualUsbTransport(std::string directory = {});
  VirtualUsbTransport(std::string directory, Timeouts timeouts);

  std::string Name() const override { return "vusb"; }
  std::vector<UsbDeviceInfo> Enumerate() override;
  std::unique_ptr<UsbConnection> Connect(const std::string &location, std::string *error) override;

private:
  std::string Directory() const;

  std::string directory_;
  Timeouts timeouts_;
};

} // namespace orvane
