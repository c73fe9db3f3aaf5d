#pragma once

#include "testing/ForwardingDevice.h"
#include "usb/DeviceBus.h"

#include <chrono>
#include <cstdint>

namespace orvane::bench {

// Host time spent inside a layer, summed over its calls.
class LayerTime {
public:
  class Scope {
  public:
    explicit Scope(LayerTime &time) : time_(time), start_(std::chrono::steady_clock::now()) {}
    ~Scope() { time_.spentNs_ += static_cast<uint64_t>((std::chrono::steady_clock::now() - start_).count()); }
    Scope(const Scope &) = delete;
    Scope &operator=(const Scope &) = delete;

  private:
    LayerTime &time_;
    std::chrono::steady_clock::time_point start_;
  };

  uint64_t SpentNs() const { return spentNs_; }

private:
  uint64_t spentNs_ = 0;
};

// The driver interface as the device-access object sees it: what lies
// below (emulated drivers, transport, device model) stands in for the
// operating system and the device, so its time is not the host's.
class TimedDeviceBus final : public DeviceBus {
public:
  explicit TimedDeviceBus(DeviceBus &inner) : inner_(inner) {}

  std::optional<std::vector<std::string>> ListInterfaces(const Guid &interfaceClass) override {
    LayerTime::Scope scope(time_);
    return inner_.ListInterfaces(interfaceClass);
  }
  DeviceHandle Open(const std::string &path) override {
    LayerTime::Scope scope(time_);
    return inner_.Open(path);
  }
  bool Control(DeviceHandle handle, const SetupPacket &setup, uint8_t *data, uint32_t *bytesReturned) override {
    LayerTime::Scope scope(time_);
    return inner_.Control(handle, setup, data, bytesReturned);
  }
  bool Probe(DeviceHandle handle) override {
    LayerTime::Scope scope(time_);
    return inner_.Probe(handle);
  }
  void Close(DeviceHandle handle) override {
    LayerTime::Scope scope(time_);
    inner_.Close(handle);
  }
  DeviceError LastDeviceError() const override { return inner_.LastDeviceError(); }
  std::optional<DeviceLock::Outcome> LockDevice(const std::string &path, DeviceLock &lock) override {
    return inner_.LockDevice(path, lock);
  }

  const LayerTime &Time() const { return time_; }

private:
  DeviceBus &inner_;
  LayerTime time_;
};

// The device model, timed.
class TimedDevice final : public ForwardingDevice {
public:
  explicit TimedDevice(VirtualDevice &inner) : ForwardingDevice(inner) {}

  TransferResult Control(const SetupPacket &setup, uint8_t *data) override {
    LayerTime::Scope scope(time_);
    return Inner().Control(setup, data);
  }

  const LayerTime &Time() const { return time_; }

private:
  LayerTime time_;
};

} // namespace orvane::bench
