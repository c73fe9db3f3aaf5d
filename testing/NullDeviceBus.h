#pragma once

#include "usb/DeviceBus.h"

namespace orvane {

// A bus with nothing on it, for windows and programs started in tests
// without devices: every class lists empty and nothing opens.
class NullDeviceBus final : public DeviceBus {
public:
  std::optional<std::vector<std::string>> ListInterfaces(const Guid &) override { return std::vector<std::string>{}; }
  DeviceHandle Open(const std::string &) override { return kNullHandle; }
  bool Control(DeviceHandle, const SetupPacket &, uint8_t *, uint32_t *) override { return false; }
  bool Probe(DeviceHandle) override { return false; }
  void Close(DeviceHandle) override {}
  DeviceError LastDeviceError() const override { return {DeviceErrorKind::NoDevice, "no device bus"}; }
};

} // namespace orvane
