#pragma once

#include "usb/VirtualDevice.h"

#include <atomic>
#include <functional>
#include <mutex>

namespace orvane {

// A device model for tests: a fixed identity and a function that answers
// transfers. Without a function every transfer stalls. The device
// descriptor is answered from the identity by whoever serves the device
// (see ServeControl), so a ScriptedDevice passes both drivers' probes.
// Safe to change from a test while a server thread serves it.
class ScriptedDevice final : public VirtualDevice {
public:
  // data holds setup.length bytes: the data stage of an OUT transfer, or
  // room for the answer of an IN transfer.
  using Handler = std::function<TransferResult(const SetupPacket &setup, uint8_t *data)>;

  explicit ScriptedDevice(UsbDeviceInfo identity, Handler handler = {});

  UsbDeviceInfo Describe() const override;
  uint64_t Generation() const override { return generation_.load(); }
  bool Present() const override { return present_.load(); }
  void ConnectionOpened() override { ++openConnections_; }
  void ConnectionClosed() override { --openConnections_; }
  TransferResult Control(const SetupPacket &setup, uint8_t *data) override;

  void SetHandler(Handler handler);
  // Comes back with another identity: connections opened before see Gone.
  void Reenumerate(const UsbDeviceInfo &identity);
  void SetPresent(bool present) { present_ = present; }
  int OpenConnections() const { return openConnections_.load(); }

private:
  mutable std::mutex mutex_;
  UsbDeviceInfo identity_;
  Handler handler_;
  std::atomic<uint64_t> generation_{1};
  std::atomic<bool> present_{true};
  std::atomic<int> openConnections_{0};
};

} // namespace orvane
