#pragma once

#include "usb/UsbTransport.h"

#include <string>

namespace orvane {

// Client of the virtual USB device protocol: every socket in the virtual
// device directory that passes the security checks is one device (on
// Windows every marker file whose pipe's server runs as this user).
// Locations are the device names (the socket names without ".sock").
class VirtualUsbTransport final : public UsbTransport {
public:
  struct Timeouts {
    // Per device while listing: a stopped server costs a monitor tick little.
    int describeMs = 200;
    // One whole control transfer, at most what the real bus allows one.
    int controlMs = 1000;
  };

  // directory empty = VirtualDeviceDirectory(), looked up at every call.
  explicit VirtualUsbTransport(std::string directory = {});
  VirtualUsbTransport(std::string directory, Timeouts timeouts);

  std::string Name() const override { return "vusb"; }
  std::vector<UsbDeviceInfo> Enumerate() override;
  std::optional<UsbDeviceInfo> Describe(const std::string &location) override;
  bool StillAttached(const std::string &location) override;
  std::unique_ptr<UsbConnection> Connect(const std::string &location, DeviceError *error) override;
  // On the lock file beside the device's socket, so whoever reaches the
  // device meets its lock there.
  std::optional<DeviceLock::Outcome> LockDevice(const std::string &location, DeviceLock &lock,
                                                DeviceError *error) override;
  std::string ListingProblem() const override { return listingProblem_; }

private:
  std::string Directory() const;
  std::optional<UsbDeviceInfo> DescribeIn(const std::string &directory, const std::string &name);
  static bool SocketListed(int directoryFd, const std::string &location);

  std::string directory_;
  Timeouts timeouts_;
  std::string listingProblem_;
};

} // namespace orvane
