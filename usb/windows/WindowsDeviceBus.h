#pragma once

#include "usb/DeviceBus.h"
#include "usb/DeviceLossWatch.h"
#include "usb/DriverRequestBlock.h"
#include "usb/InterfacePathPlace.h"

#include <cstdint>
#include <map>
#include <string>

namespace orvane {

// The device bus of the Windows build: the present interfaces through
// SetupAPI, and the vendor's kernel drivers (the generic USB driver and the
// audio driver) reached with CreateFile and DeviceIoControl on the
// interface path. Here alone a setup packet becomes a driver's request
// block (DriverRequestBlock), in the layout of the driver whose interface
// class the path names.
class WindowsDeviceBus final : public DeviceBus {
public:
  // A driver call that has not returned after timeoutMs is cancelled and
  // fails: a wedged device or driver must not hold the program for good.
  // A cancelled call that is still not back after cancelGraceMs is left to
  // the driver with buffers of its own, and the handle is lost.
  explicit WindowsDeviceBus(unsigned timeoutMs = 5000, unsigned cancelGraceMs = 1000);

  std::optional<std::vector<std::string>> ListInterfaces(const Guid &interfaceClass) override;
  DeviceHandle Open(const std::string &path) override;
  bool Control(DeviceHandle handle, const SetupPacket &setup, uint8_t *data, uint32_t *bytesReturned) override;
  bool Probe(DeviceHandle handle) override;
  // One call to the driver behind the handle, with its deadline and the
  // watch for a device that stopped answering or left.
  bool DriverIoControl(DeviceHandle handle, uint32_t code, const uint8_t *in, size_t inLength, uint8_t *out,
                       size_t outLength, uint32_t *bytesReturned);
  void Close(DeviceHandle handle) override;
  DeviceLoss Loss(DeviceHandle handle) const override;
  DeviceError LastDeviceError() const override { return lastError_; }
  std::optional<InterfacePlace> PlaceOf(const std::string &path) override { return PlaceInInterfacePath(path); }
  // The system keeps an interface for a device that stopped answering;
  // it drops it for one that went away.
  bool StillAttached(const std::string &path) override;

private:
  struct OpenInterface {
    std::string path; // empty for a handle this bus did not open
    DriverKind driver = DriverKind::Generic;
    DeviceLossWatch watch;
  };

  bool Fail(DeviceError error);
  // The driver that carries the handle's calls; a handle opened elsewhere
  // is taken for the generic driver's.
  DriverKind DriverFor(DeviceHandle handle) const;
  // A failed call that is no answer of the device: a device whose
  // interface has gone from the system has left, whatever the call said.
  void NoteSilence(OpenInterface &device, bool timedOut);

  unsigned timeoutMs_;
  unsigned cancelGraceMs_;
  std::map<DeviceHandle, OpenInterface> open_;
  DeviceError lastError_;
};

} // namespace orvane
