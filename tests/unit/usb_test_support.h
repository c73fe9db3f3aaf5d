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

// Passes every call on to another bus and keeps what the driver was sent.
class CountingBus final : public DeviceBus {
public:
  struct Call {
    DeviceHandle handle;
    uint32_t code;
    std::vector<uint8_t> in;
    size_t outLength;
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
  bool IoControl(DeviceHandle handle, uint32_t code, const uint8_t *in, size_t inLength, uint8_t *out, size_t outLength,
                 uint32_t *bytesReturned) override {
    const bool ok = inner_.IoControl(handle, code, in, inLength, out, outLength, bytesReturned);
    calls.push_back({handle, code, std::vector<uint8_t>(in, in + inLength), outLength, ok});
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
