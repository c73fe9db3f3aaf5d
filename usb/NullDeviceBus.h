#pragma once

#include "usb/DeviceBus.h"

namespace orvane {

// A bus with nothing on it: every class lists empty and nothing opens.
class NullDeviceBus final : public DeviceBus {
public:
  std::optional<std::vector<std::string>> ListInterfaces(const Guid &) override { return std::vector<std::string>{}; }
  DeviceHandle Open(const std::string &) override { return kNullHandle; }
  bool IoControl(DeviceHandle, uint32_t, const uint8_t *, size_t, uint8_t *, size_t, uint32_t *) override {
    return false;
  }
  void Close(DeviceHandle) override {}
  DeviceError LastDeviceError() const override { return {DeviceErrorKind::NoDevice, "no device bus"}; }
};

} // namespace orvane
