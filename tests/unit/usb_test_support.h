#pragma once

#include "usb/DeviceBus.h"
#include "usb/UsbTransport.h"

#include <cstdint>
#include <string>
#include <vector>

namespace orvane::test {

inline UsbDeviceInfo Identity(uint16_t vendorId, uint16_t productId, bool audio = false) {
  UsbDeviceInfo info;
  info.vendorId = vendorId;
  info.productId = productId;
  info.bcdDevice = 0x0100;
  info.hasAudioInterface = audio;
  return info;
}

// Passes every call on to another bus and keeps what the back-end was asked.
class CountingBus final : public DeviceBus {
public:
  struct Call {
    DeviceHandle handle;
    bool probe;
    SetupPacket setup;
    std::vector<uint8_t> out; // the data an OUT transfer sent
    bool succeeded;
  };

  explicit CountingBus(DeviceBus &inner) : inner_(inner) {}

  std::optional<std::vector<std::string>> ListInterfaces(const Guid &interfaceClass) override {
    ++lists;
    return inner_.ListInterfaces(interfaceClass);
  }
  DeviceHandle Open(const std::string &path) override {
    openedPaths.push_back(path);
    const DeviceHandle handle = inner_.Open(path);
    if (handle != kNullHandle)
      ++openHandles;
    return handle;
  }
  bool Control(DeviceHandle handle, const SetupPacket &setup, uint8_t *data, uint32_t *bytesReturned) override {
    std::vector<uint8_t> out;
    if (!setup.isIn() && data)
      out.assign(data, data + setup.length);
    const bool ok = inner_.Control(handle, setup, data, bytesReturned);
    calls.push_back({handle, false, setup, std::move(out), ok});
    return ok;
  }
  bool Probe(DeviceHandle handle) override {
    const bool ok = inner_.Probe(handle);
    calls.push_back({handle, true, {}, {}, ok});
    return ok;
  }
  void Close(DeviceHandle handle) override {
    ++closes;
    --openHandles;
    inner_.Close(handle);
  }
  DeviceError LastDeviceError() const override { return inner_.LastDeviceError(); }

  int lists = 0;
  int closes = 0;
  int openHandles = 0;
  std::vector<std::string> openedPaths;
  std::vector<Call> calls;

private:
  DeviceBus &inner_;
};

} // namespace orvane::test
