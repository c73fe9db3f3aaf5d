#pragma once

#include "usb/DeviceError.h"
#include "usb/DeviceLock.h"
#include "usb/SetupPacket.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orvane {

enum class TransferStatus : uint8_t {
  Completed = 0,
  Stalled = 1, // the device rejected the request
  Gone = 2,    // unplugged or re-enumerated since the connection was opened
  Failed = 3,  // transport error or time-out
};

struct TransferResult {
  TransferStatus status = TransferStatus::Failed;
  size_t actual = 0; // bytes moved in the data stage
  bool ok() const { return status == TransferStatus::Completed; }
};

// What a device says of itself when it is listed.
struct UsbDeviceInfo {
  std::string location; // tells two identical devices apart, unique per transport
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  uint16_t bcdDevice = 0;
  bool hasAudioInterface = false;
  std::string serial;
};

// One open handle on one device.
class UsbConnection {
public:
  virtual ~UsbConnection() = default;
  // One control transfer on endpoint 0. For OUT, data holds setup.length
  // bytes to send; for IN, up to setup.length bytes are written to data.
  virtual TransferResult Control(const SetupPacket &setup, uint8_t *data) = 0;
};

class UsbTransport {
public:
  virtual ~UsbTransport() = default;
  virtual std::string Name() const = 0; // short, goes into device paths
  virtual std::vector<UsbDeviceInfo> Enumerate() = 0;
  // The one device at location, without asking any other device.
  virtual std::optional<UsbDeviceInfo> Describe(const std::string &location);
  // Whether a device is attached at location, answering or not.
  virtual bool StillAttached(const std::string &location) { return Describe(location).has_value(); }
  // Why the last Enumerate could not look where devices may be; empty when it could.
  virtual std::string ListingProblem() const { return {}; }
  // nullptr on failure, with what went wrong in *error.
  virtual std::unique_ptr<UsbConnection> Connect(const std::string &location, DeviceError *error) = 0;
  // Locks the device at location on a file it has for that (see
  // DeviceBus::LockDevice); Unreachable with why in *error. nullopt: the
  // transport has no such file.
  virtual std::optional<DeviceLock::Outcome> LockDevice(const std::string &, DeviceLock &, DeviceError *) {
    return std::nullopt;
  }
};

inline std::optional<UsbDeviceInfo> UsbTransport::Describe(const std::string &location) {
  for (UsbDeviceInfo &device : Enumerate())
    if (device.location == location)
      return std::move(device);
  return std::nullopt;
}

} // namespace orvane
