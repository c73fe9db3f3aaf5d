#pragma once

#include "usb/DeviceBus.h"
#include "usb/InterfacePathPlace.h"

#include <cstdint>
#include <string>

namespace orvane {

// The device bus of the Windows build: the present interfaces through
// SetupAPI, and the vendor's kernel drivers (the generic USB driver and the
// audio driver) reached with CreateFile and DeviceIoControl on the
// interface path.
class WindowsDeviceBus final : public DeviceBus {
public:
  // A driver call that has not returned after timeoutMs is cancelled and
  // fails: a wedged device or driver must not hold the program for good.
  explicit WindowsDeviceBus(unsigned timeoutMs = 5000);

  std::optional<std::vector<std::string>> ListInterfaces(const Guid &interfaceClass) override;
  DeviceHandle Open(const std::string &path) override;
  bool IoControl(DeviceHandle handle, uint32_t code, const uint8_t *in, size_t inLength, uint8_t *out, size_t outLength,
                 uint32_t *bytesReturned) override;
  void Close(DeviceHandle handle) override;
  DeviceError LastDeviceError() const override { return lastError_; }
  std::optional<InterfacePlace> PlaceOf(const std::string &path) override { return PlaceInInterfacePath(path); }

private:
  bool Fail(DeviceError error);

  unsigned timeoutMs_;
  DeviceError lastError_;
};

} // namespace orvane
