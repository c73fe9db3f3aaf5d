#include "testing/ScriptedDevice.h"
#include "testing/SimulatedDeviceStack.h"
#include "usb/DeviceSession.h"
#include "usb_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>

namespace orvane {
namespace {

// A chip in update mode that answers everything, with its transfers on
// record, and a device object that takes device locks in a folder of its own.
class DeviceSessionTest : public ::testing::Test {
protected:
  void SetUp() override {
    lockDirectory =
        (std::filesystem::temp_directory_path() / ("orvane-session-test-" + std::to_string(std::random_device{}())))
            .string();
    ASSERT_TRUE(std::filesystem::create_directory(lockDirectory));
    devices.Plug("isp", device);
    for (VantrelUsb *each : {&usb, &other}) {
      each->UseDeviceLocks(lockDirectory);
      each->SetTarget(kUpdateMatch3B5D);
      each->FindDevice();
      ASSERT_TRUE(each->IsFound());
    }
    devices.transport.ClearTransfers();
  }
  void TearDown() override { std::filesystem::remove_all(lockDirectory); }

  long Sent(uint8_t request) const {
    const auto &wire = devices.transport.Transfers();
    return std::count_if(wire.begin(), wire.end(),
                         [&](const RecordedTransfer &t) { return t.setup.request == request; });
  }

  ScriptedDevice device{test::Identity(0x3B5D, 0x6000), [](const SetupPacket &setup, uint8_t *) {
                          return TransferResult{TransferStatus::Completed, setup.length};
                        }};
  SimulatedDeviceStack devices;
  std::string lockDirectory;
  VantrelUsb usb{devices.bus};
  VantrelUsb other{devices.bus}; // another program's device object
  std::array<uint8_t, 3> flashId{};
  ChipCommands chip{usb, devices.clock, flashId};
};

TEST_F(DeviceSessionTest, ASessionHoldsTheDeviceFromBeginToEndAndNoLonger) {
  {
    DeviceSession session(chip);
    ASSERT_TRUE(session.Begin());
    EXPECT_TRUE(usb.HasHandle());
    EXPECT_FALSE(other.Open()) << "another action is kept off between the session's steps";
    EXPECT_EQ(other.LastDeviceError().kind, DeviceErrorKind::Busy);
    usb.Close();
    EXPECT_FALSE(other.Open()) << "a close inside the session gives nothing back";
    ASSERT_TRUE(session.Reopen());
  }
  EXPECT_FALSE(usb.HasHandle());
  EXPECT_TRUE(other.Open());
  other.Close();
  EXPECT_EQ(Sent(vendor::kIspLeave), 0) << "a chip the session did not put into ISP mode is not asked to leave it";
}

TEST_F(DeviceSessionTest, ABusyDeviceIsRefusedWithItsReason) {
  ASSERT_TRUE(other.HoldDeviceLock());
  DeviceSession session(chip);
  const DeviceResult begun = session.Begin();
  EXPECT_FALSE(begun);
  EXPECT_EQ(begun.Error().kind, DeviceErrorKind::Busy);
  EXPECT_FALSE(usb.HasHandle());
  other.ReleaseDeviceLock();
}

TEST_F(DeviceSessionTest, AChipPutIntoIspModeLeavesItOnEveryWayOut) {
  {
    DeviceSession session(chip);
    ASSERT_TRUE(session.Begin());
    ASSERT_TRUE(session.EnterIsp());
    EXPECT_TRUE(session.InIsp());
  }
  EXPECT_EQ(Sent(vendor::kIspEnter), 1);
  EXPECT_EQ(Sent(vendor::kIspLeave), 1);
  EXPECT_EQ(devices.transport.Transfers().back().setup.request, vendor::kRegisterWrite) << "the bank reset after it";
  EXPECT_FALSE(usb.HasHandle());
}

TEST_F(DeviceSessionTest, AnActionThatAskedTheChipToLeaveIsNotRepeated) {
  {
    DeviceSession session(chip);
    ASSERT_TRUE(session.Begin());
    ASSERT_TRUE(session.EnterIsp());
    ASSERT_TRUE(session.LeaveIsp());
    EXPECT_FALSE(session.InIsp());
  }
  EXPECT_EQ(Sent(vendor::kIspLeave), 1);
}

TEST_F(DeviceSessionTest, ADeviceGivenUpHearsNothingMore) {
  {
    DeviceSession session(chip);
    ASSERT_TRUE(session.Begin());
    ASSERT_TRUE(session.EnterIsp());
    session.Abandon();
  }
  EXPECT_EQ(Sent(vendor::kIspLeave), 0);
  {
    DeviceSession session(chip);
    ASSERT_TRUE(session.Begin());
    ASSERT_TRUE(session.EnterIsp());
    session.End();
    EXPECT_FALSE(usb.HasHandle());
  }
  EXPECT_EQ(Sent(vendor::kIspLeave), 0) << "an ended session leaves the chip as the action left it";
}

TEST_F(DeviceSessionTest, ASessionThatNeverBeganLeavesAnotherActionsHandleAlone) {
  ASSERT_TRUE(usb.Open());
  { DeviceSession unused(chip); }
  EXPECT_TRUE(usb.HasHandle());
  usb.Close();
}

TEST_F(DeviceSessionTest, AStepThatDidNotGoThroughSaysWhy) {
  device.SetHandler([](const SetupPacket &, uint8_t *) { return TransferResult{TransferStatus::Stalled, 0}; });
  DeviceSession session(chip);
  ASSERT_TRUE(session.Begin());
  const DeviceResult entered = session.EnterIsp();
  EXPECT_FALSE(entered);
  EXPECT_EQ(entered.Error().kind, DeviceErrorKind::Stalled);
  EXPECT_FALSE(entered.Error().text.empty());
  EXPECT_TRUE(session.InIsp()) << "half switched is in ISP mode as far as leaving goes";
}

TEST(DeviceResultTest, AFailureTheDeviceLayerCouldNotNameIsStillAFailure) {
  const DeviceResult unnamed = DeviceResult::Failed({});
  EXPECT_FALSE(unnamed);
  EXPECT_EQ(unnamed.Error().kind, DeviceErrorKind::Failed);
  EXPECT_FALSE(unnamed.Error().text.empty());
  EXPECT_TRUE(DeviceResult::Done());
}

} // namespace
} // namespace orvane
