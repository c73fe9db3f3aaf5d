#include "testing/ScriptedDevice.h"
#include "testing/SimulatedDeviceStack.h"
#include "usb/VantrelUsb.h"
#include "usb_test_support.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

std::vector<std::string> GenericInterfaces(SimulatedDeviceStack &stack) {
  return stack.bus.ListInterfaces(kGuidUsbDevice).value_or(std::vector<std::string>{});
}

TEST(SimulatedDeviceStack, APluggedChipIsFoundThroughTheEmulatedDriver) {
  SimulatedDeviceStack stack;
  stack.PlugChip("r62", sim::UpdateModeConfig(0x3B5D));
  VantrelUsb usb(stack.bus);
  ASSERT_TRUE(usb.SetTarget("vid_3b5d&pid_6000"));
  ASSERT_TRUE(usb.FindDevice());
  EXPECT_EQ(VantrelUsb::LockKey(usb.DevicePath()), "mem.r62");
  EXPECT_FALSE(stack.Transfers().empty()) << "every transfer is recorded";
}

TEST(SimulatedDeviceStack, AChipRunsOnTheStacksClockUnlessGivenOneOfItsOwn) {
  SimulatedDeviceStack stack;
  VirtualClock own;
  sim::ChipSimulator &shared = stack.PlugChip("shared");
  sim::ChipSimulator &apart = stack.PlugChip("apart", {}, own);
  stack.clock.AdvanceUs(5'000);
  EXPECT_GE(shared.Time().NowUs(), 5'000u);
  EXPECT_LT(apart.Time().NowUs(), 5'000u);
  own.AdvanceUs(9'000);
  EXPECT_LT(shared.Time().NowUs(), 9'000u);
  EXPECT_GE(apart.Time().NowUs(), 9'000u);
}

TEST(SimulatedDeviceStack, UnpluggedDevicesAreNoLongerListedAndAllGoWhenAsked) {
  SimulatedDeviceStack stack;
  ScriptedDevice dongle(test::Identity(0x3B5D, 0xF0B8, true));
  stack.Plug("a", dongle);
  stack.PlugChip("b");
  stack.PlugChip("c");
  EXPECT_EQ(GenericInterfaces(stack).size(), 3u);
  stack.Unplug("b");
  EXPECT_EQ(GenericInterfaces(stack).size(), 2u);
  stack.UnplugAll();
  EXPECT_TRUE(GenericInterfaces(stack).empty());
}

} // namespace
} // namespace orvane
