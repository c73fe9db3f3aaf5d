#pragma once

#include "testing/ScriptedDevice.h"
#include "testing/SimulatedDeviceStack.h"
#include "usb/ChipCommands.h"
#include "usb/VantrelUsb.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

namespace orvane::test {

// One update-mode device behind the generic driver, opened, with every
// transfer recorded: the bench for checking what goes on the wire.
struct ChipRig : SimulatedDeviceStack {
  explicit ChipRig(VirtualDevice &device) {
    Plug("dev", device);
    static_cast<void>(usb.SetTarget("vid_3b5d&pid_6000")); // a constant that fits
    static_cast<void>(usb.FindDevice());                   // each test checks the outcome it relies on
    EXPECT_TRUE(usb.Open());
    transport.ClearTransfers();
  }

  const std::vector<RecordedTransfer> &Wire() const { return transport.Transfers(); }

  VantrelUsb usb{bus};
  std::array<uint8_t, 3> flashId{};
  ChipCommands chip{usb, clock, flashId};
};

inline SetupPacket Out(uint8_t request, uint16_t value, uint16_t index, uint16_t length) {
  return {0x43, request, value, index, length};
}
inline SetupPacket In(uint8_t request, uint16_t value, uint16_t index, uint16_t length) {
  return {0xC3, request, value, index, length};
}

} // namespace orvane::test
