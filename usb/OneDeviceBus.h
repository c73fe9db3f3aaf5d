#pragma once

#include "usb/DeviceBus.h"

#include <string>

namespace orvane {

// A bus that shows only the interfaces of the devices a user named: by
// location (port path, virtual device name) or by USB serial number. Whatever
// searches it finds that device or nothing, and never another one.
class OneDeviceBus final : public DeviceBus {
public:
  OneDeviceBus(DeviceBus &inner, std::string id) : inner_(inner), id_(std::move(id)) {}

  static bool Names(const InterfacePlace &place, const std::string &id) {
    return place.location == id || (!place.serial.empty() && place.serial == id);
  }

  std::optional<std::vector<std::string>> ListInterfaces(const Guid &interfaceClass) override;
  DeviceHandle Open(const std::string &path) override;
  bool Control(DeviceHandle handle, const SetupPacket &setup, uint8_t *data, uint32_t *bytesReturned) override {
    return inner_.Control(handle, setup, data, bytesReturned);
  }
  bool Probe(DeviceHandle handle) override { return inner_.Probe(handle); }
  void Close(DeviceHandle handle) override { inner_.Close(handle); }
  DeviceLoss Loss(DeviceHandle handle) const override { return inner_.Loss(handle); }
  std::vector<std::string> ListingProblems() override { return inner_.ListingProblems(); }
  DeviceError LastDeviceError() const override {
    return lastError_.kind == DeviceErrorKind::None ? inner_.LastDeviceError() : lastError_;
  }
  std::optional<InterfacePlace> PlaceOf(const std::string &path) override { return inner_.PlaceOf(path); }
  bool StillAttached(const std::string &path) override { return inner_.StillAttached(path); }
  std::optional<DeviceLock::Outcome> LockDevice(const std::string &path, DeviceLock &lock) override;

private:
  bool Shown(const std::string &path);

  DeviceBus &inner_;
  std::string id_;
  DeviceError lastError_;
};

} // namespace orvane
