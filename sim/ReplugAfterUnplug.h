#pragma once

#include "sim/ChipSimulator.h"
#include "usb/Clock.h"
#include "usb/VirtualDevice.h"

#include <cstdint>
#include <optional>

namespace orvane::sim {

// A chip that, once unplugged, is plugged in again a while later: it
// restarts from its flash as after a power cycle, in update mode when the
// start of its flash holds no firmware. The host sees the old connections
// gone and a device at the same place.
class ReplugAfterUnplug final : public VirtualDevice {
public:
  ReplugAfterUnplug(ChipSimulator &chip, uint32_t afterMs) : chip_(chip), afterUs_(uint64_t{afterMs} * 1000) {}

  UsbDeviceInfo Describe() const override { return chip_.Describe(); }
  uint64_t Generation() const override { return chip_.Generation(); }
  bool Present() const override;
  void ConnectionOpened() override { chip_.ConnectionOpened(); }
  void ConnectionClosed() override { chip_.ConnectionClosed(); }
  TransferResult Control(const SetupPacket &setup, uint8_t *data) override { return chip_.Control(setup, data); }

private:
  ChipSimulator &chip_;
  uint64_t afterUs_;
  // When the chip was first seen gone; looked at from the serving thread.
  mutable std::optional<uint64_t> goneSinceUs_;
};

} // namespace orvane::sim
