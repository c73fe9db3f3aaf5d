#pragma once

#include "usb/VirtualDevice.h"

namespace orvane {

// A device model that passes everything to another: the base for models
// that look at, time or disturb what passes, for tests and measurements.
class ForwardingDevice : public VirtualDevice {
public:
  explicit ForwardingDevice(VirtualDevice &inner) : inner_(inner) {}

  UsbDeviceInfo Describe() const override { return inner_.Describe(); }
  uint64_t Generation() const override { return inner_.Generation(); }
  bool Present() const override { return inner_.Present(); }
  void ConnectionOpened() override { inner_.ConnectionOpened(); }
  void ConnectionClosed() override { inner_.ConnectionClosed(); }
  TransferResult Control(const SetupPacket &setup, uint8_t *data) override { return inner_.Control(setup, data); }

protected:
  VirtualDevice &Inner() { return inner_; }

private:
  VirtualDevice &inner_;
};

} // namespace orvane
