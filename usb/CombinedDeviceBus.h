#pragma once

#include "usb/DeviceBus.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace orvane {

// Several device buses as one: the system's own drivers and the virtual
// devices side by side. Each lists its own interfaces, in the order the
// buses were added; a path opens on the bus that listed it, and a handle
// goes back to the bus that opened it.
class CombinedDeviceBus final : public DeviceBus {
public:
  void Add(std::unique_ptr<DeviceBus> bus);

  std::optional<std::vector<std::string>> ListInterfaces(const Guid &interfaceClass) override;
  DeviceHandle Open(const std::string &path) override;
  bool Control(DeviceHandle handle, const SetupPacket &setup, uint8_t *data, uint32_t *bytesReturned) override;
  bool Probe(DeviceHandle handle) override;
  void Close(DeviceHandle handle) override;
  DeviceLoss Loss(DeviceHandle handle) const override;
  std::vector<std::string> ListingProblems() override;
  DeviceError LastDeviceError() const override { return lastError_; }
  std::optional<InterfacePlace> PlaceOf(const std::string &path) override;
  bool StillAttached(const std::string &path) override;
  std::optional<DeviceLock::Outcome> LockDevice(const std::string &path, DeviceLock &lock) override;

private:
  struct Route {
    DeviceBus *bus;
    DeviceHandle handle;
  };

  // The bus that listed path last, or nullptr when none did.
  DeviceBus *OwnerOf(const std::string &path) const;
  // The call on the bus that opened handle; a handle this bus did not
  // give out fails.
  bool Routed(DeviceHandle handle, const std::function<bool(DeviceBus &, DeviceHandle)> &call);

  std::vector<std::unique_ptr<DeviceBus>> buses_;
  std::map<std::string, DeviceBus *> listedBy_;
  std::map<DeviceHandle, Route> handles_;
  DeviceHandle nextHandle_ = 1;
  DeviceError lastError_;
};

} // namespace orvane
