#include "usb/OneDeviceBus.h"

namespace orvane {

bool OneDeviceBus::Shown(const std::string &path) {
  const auto place = inner_.PlaceOf(path);
  return place && Names(*place, id_);
}

std::optional<std::vector<std::string>> OneDeviceBus::ListInterfaces(const Guid &interfaceClass) {
  auto paths = inner_.ListInterfaces(interfaceClass);
  if (paths)
    std::erase_if(*paths, [this](const std::string &path) { return !Shown(path); });
  return paths;
}

DeviceHandle OneDeviceBus::Open(const std::string &path) {
  // A path kept from before can name whatever sits there now.
  if (!Shown(path)) {
    lastError_ = {DeviceErrorKind::NoDevice, "no device " + id_ + " at " + path};
    return kNullHandle;
  }
  lastError_ = {};
  return inner_.Open(path);
}

std::optional<DeviceLock::Outcome> OneDeviceBus::LockDevice(const std::string &path, DeviceLock &lock) {
  // Only the named device is locked, as only it is opened.
  if (!Shown(path)) {
    lastError_ = {DeviceErrorKind::NoDevice, "no device " + id_ + " at " + path};
    return DeviceLock::Outcome::Unreachable;
  }
  lastError_ = {};
  return inner_.LockDevice(path, lock);
}

} // namespace orvane
