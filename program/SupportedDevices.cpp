#include "program/SupportedDevices.h"

#include "program/ConnectionMonitor.h"
#include "usb/DeviceTable.h"
#include "usb/VantrelUsb.h"

#include <algorithm>

namespace orvane {

namespace {

struct Target {
  const char *matchText;
  bool audioDriver;
  int row;
  std::string caption;
};

std::vector<Target> ListTargets() {
  std::vector<Target> targets;
  for (int row = 0; row < kDeviceTableRows; ++row)
    targets.push_back(
        {DeviceTable[row].matchText, true, row, std::string(kFindDeviceLead) + DeviceTable[row].displayName});
  targets.push_back({kUpdateId3B5D, false, 0, kUpdateDevice3B5DCaption});
  targets.push_back({kUpdateId0C7E, false, -1, kUpdateDevice0C7ECaption});
  return targets;
}

} // namespace

std::vector<SupportedDevice> ListSupportedDevices(DeviceBus &bus) {
  std::vector<SupportedDevice> devices;
  const auto audioPaths = bus.ListInterfaces(kGuidAudioDriver);
  const auto genericPaths = bus.ListInterfaces(kGuidUsbDevice);
  for (const Target &target : ListTargets()) {
    const auto &paths = target.audioDriver ? audioPaths : genericPaths;
    if (!paths)
      continue;
    for (const std::string &path : *paths) {
      if (!VantrelUsb::PathMatches(path, target.matchText))
        continue;
      SupportedDevice entry;
      entry.row = target.row;
      entry.device = {target.caption,
                      target.matchText,
                      target.audioDriver ? DeviceTable[target.row].displayName : "",
                      target.audioDriver,
                      path,
                      {},
                      {}};
      if (const auto place = bus.PlaceOf(path)) {
        entry.device.location = place->location;
        entry.device.serial = place->serial;
      }
      const bool seen = !entry.device.location.empty() &&
                        std::any_of(devices.begin(), devices.end(), [&](const SupportedDevice &other) {
                          return other.device.location == entry.device.location;
                        });
      if (!seen)
        devices.push_back(std::move(entry));
    }
  }
  return devices;
}

std::string DeviceChoiceLines(const std::vector<SupportedDevice> &devices) {
  std::string lines;
  for (const SupportedDevice &entry : devices) {
    const FoundDevice &device = entry.device;
    if (!lines.empty())
      lines += '\n';
    lines += "  " + (device.location.empty() ? device.path : device.location) + "  " + device.caption;
    if (!device.serial.empty())
      lines += " (serial " + device.serial + ")";
  }
  return lines;
}

} // namespace orvane
