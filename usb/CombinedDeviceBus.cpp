#include "usb/CombinedDeviceBus.h"

namespace orvane {

void CombinedDeviceBus::Add(std::unique_ptr<DeviceBus> bus) {
  buses_.push_back(std::move(bus));
}

DeviceBus *CombinedDeviceBus::OwnerOf(const std::string &path) const {
  const auto it = listedBy_.find(path);
  return it == listedBy_.end() ? nullptr : it->second;
}

std::optional<std::vector<std::string>> CombinedDeviceBus::ListInterfaces(const Guid &interfaceClass) {
  std::optional<std::vector<std::string>> all;
  for (const auto &bus : buses_) {
    auto paths = bus->ListInterfaces(interfaceClass);
    if (!paths)
      continue;
    if (!all)
      all.emplace();
    for (auto &path : *paths) {
      listedBy_[path] = bus.get();
      all->push_back(std::move(path));
    }
  }
  return all;
}

DeviceHandle CombinedDeviceBus::Open(const std::string &path) {
  std::vector<DeviceBus *> candidates;
  if (DeviceBus *owner = OwnerOf(path))
    candidates.push_back(owner);
  else
    for (const auto &bus : buses_)
      candidates.push_back(bus.get());
  // Of a path no bus listed, the reason of a bus that knew the path beats
  // "no such device" from the others.
  std::optional<DeviceError> reason;
  for (DeviceBus *bus : candidates) {
    const DeviceHandle inner = bus->Open(path);
    if (inner != kNullHandle) {
      const DeviceHandle handle = nextHandle_++;
      handles_[handle] = Route{bus, inner};
      return handle;
    }
    DeviceError error = bus->LastDeviceError();
    if (!reason || (reason->kind == DeviceErrorKind::NoDevice && error.kind != DeviceErrorKind::NoDevice))
      reason = std::move(error);
  }
  lastError_ = reason.value_or(DeviceError{DeviceErrorKind::NoDevice, "no such device: " + path});
  return kNullHandle;
}

bool CombinedDeviceBus::Routed(DeviceHandle handle, const std::function<bool(DeviceBus &, DeviceHandle)> &call) {
  const auto it = handles_.find(handle);
  if (it == handles_.end()) {
    lastError_ = {DeviceErrorKind::Failed, "invalid handle"};
    return false;
  }
  const Route route = it->second;
  if (call(*route.bus, route.handle))
    return true;
  lastError_ = route.bus->LastDeviceError();
  return false;
}

bool CombinedDeviceBus::Control(DeviceHandle handle, const SetupPacket &setup, uint8_t *data, uint32_t *bytesReturned) {
  if (bytesReturned)
    *bytesReturned = 0;
  return Routed(handle,
                [&](DeviceBus &bus, DeviceHandle inner) { return bus.Control(inner, setup, data, bytesReturned); });
}

bool CombinedDeviceBus::Probe(DeviceHandle handle) {
  return Routed(handle, [](DeviceBus &bus, DeviceHandle inner) { return bus.Probe(inner); });
}

void CombinedDeviceBus::Close(DeviceHandle handle) {
  const auto it = handles_.find(handle);
  if (it == handles_.end())
    return;
  it->second.bus->Close(it->second.handle);
  handles_.erase(it);
}

DeviceLoss CombinedDeviceBus::Loss(DeviceHandle handle) const {
  const auto it = handles_.find(handle);
  return it == handles_.end() ? DeviceLoss::None : it->second.bus->Loss(it->second.handle);
}

std::vector<std::string> CombinedDeviceBus::ListingProblems() {
  std::vector<std::string> problems;
  for (const auto &bus : buses_)
    for (auto &problem : bus->ListingProblems())
      problems.push_back(std::move(problem));
  return problems;
}

std::optional<InterfacePlace> CombinedDeviceBus::PlaceOf(const std::string &path) {
  if (DeviceBus *owner = OwnerOf(path))
    return owner->PlaceOf(path);
  for (const auto &bus : buses_)
    if (auto place = bus->PlaceOf(path))
      return place;
  return std::nullopt;
}

bool CombinedDeviceBus::StillAttached(const std::string &path) {
  if (DeviceBus *owner = OwnerOf(path))
    return owner->StillAttached(path);
  for (const auto &bus : buses_)
    if (bus->StillAttached(path))
      return true;
  return false;
}

std::optional<DeviceLock::Outcome> CombinedDeviceBus::LockDevice(const std::string &path, DeviceLock &lock) {
  DeviceBus *owner = OwnerOf(path);
  return owner ? owner->LockDevice(path, lock) : std::nullopt;
}

} // namespace orvane
