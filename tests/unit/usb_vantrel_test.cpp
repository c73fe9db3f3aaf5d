#include "testing/ScriptedDevice.h"
#include "testing/SimulatedDeviceStack.h"
#include "usb/EmulatedDriverBus.h"
#include "usb/VantrelUsb.h"
#include "usb_test_support.h"

#include <gtest/gtest.h>

#include <cstring>

namespace orvane {
namespace {

using test::Identity;

TransferResult Echo(const SetupPacket &setup, uint8_t *data) {
  if (setup.isIn())
    std::memset(data, 0x5A, setup.length);
  return {TransferStatus::Completed, setup.length};
}

class VantrelUsbTest : public ::testing::Test {
protected:
  // Makes the device at location refuse the generic probe.
  void RejectProbeAt(const std::string &location) {
    devices.transport.SetScriptHook(
        [location](const std::string &at, const SetupPacket &setup, uint8_t *) -> std::optional<TransferResult> {
          if (at == location && setup.request == 6)
            return TransferResult{TransferStatus::Stalled, 0};
          return std::nullopt;
        });
  }

  ScriptedDevice update{Identity(0x0C7E, 0x6000), Echo};
  ScriptedDevice twin{Identity(0x0C7E, 0x6000), Echo};
  SimulatedDeviceStack devices;
  test::CountingBus bus{devices.bus};
  VantrelUsb usb{bus};
};

TEST_F(VantrelUsbTest, StartsLookingForTheUpdateModeIdentityThroughTheGenericDriver) {
  EXPECT_STREQ(usb.Target(), "vid_0c7e&pid_6000");
  EXPECT_FALSE(usb.GetAudioDriver());
  EXPECT_FALSE(usb.IsFound());
  EXPECT_STREQ(usb.DevicePath(), "");
  EXPECT_FALSE(usb.HasHandle());
  EXPECT_EQ(bus.lists + static_cast<int>(bus.openedPaths.size()), 0);
}

TEST_F(VantrelUsbTest, FindsTheDeviceAndRemembersItsPath) {
  devices.Plug("a", update);
  EXPECT_TRUE(usb.FindDevice());
  EXPECT_TRUE(usb.IsFound());
  EXPECT_EQ(std::string(usb.DevicePath()),
            EmulatedDriverBus::InterfacePath("mem", devices.transport.Enumerate()[0], kGuidUsbDevice));
  EXPECT_EQ(bus.openHandles, 0);
}

TEST_F(VantrelUsbTest, MatchingIsCaseSensitive) {
  devices.Plug("a", update);
  ASSERT_TRUE(usb.SetTarget("VID_0C7E&PID_6000"));
  EXPECT_FALSE(usb.FindDevice());
  EXPECT_FALSE(usb.IsFound());
  EXPECT_FALSE(usb.CheckDevice());
}

TEST_F(VantrelUsbTest, OfTwoMatchingDevicesTheLastOneWinsAndItsProbeDecides) {
  devices.Plug("first", update);
  devices.Plug("second", twin);
  RejectProbeAt("second");
  EXPECT_FALSE(usb.FindDevice());
  EXPECT_TRUE(usb.IsFound());
  EXPECT_NE(std::string(usb.DevicePath()).find("#mem.second#"), std::string::npos);

  RejectProbeAt("first");
  EXPECT_TRUE(usb.FindDevice());
  EXPECT_NE(std::string(usb.DevicePath()).find("#mem.second#"), std::string::npos);
  // Both were probed: every interface is visited.
  EXPECT_EQ(bus.openedPaths.size(), 4u);
}

TEST_F(VantrelUsbTest, ARejectedProbeLeavesTheDeviceFoundAndOpenUsesItsPath) {
  devices.Plug("a", update);
  RejectProbeAt("a");
  EXPECT_FALSE(usb.FindDevice());
  EXPECT_TRUE(usb.IsFound());
  EXPECT_TRUE(usb.Open());
  uint8_t value = 0;
  EXPECT_TRUE(usb.ControlTransfer(0xC3, 0x91, 0, 0xA6, &value, 1));
  EXPECT_EQ(value, 0x5A);
}

TEST_F(VantrelUsbTest, FindDeviceNeverClearsFoundButCheckDeviceDoes) {
  devices.Plug("a", update);
  ASSERT_TRUE(usb.FindDevice());
  const std::string path = usb.DevicePath();
  devices.Unplug("a");

  EXPECT_FALSE(usb.FindDevice());
  EXPECT_TRUE(usb.IsFound());
  EXPECT_EQ(usb.DevicePath(), path);

  bus.openedPaths.clear();
  EXPECT_FALSE(usb.CheckDevice());
  EXPECT_FALSE(usb.IsFound());
  EXPECT_EQ(usb.DevicePath(), path);
  EXPECT_TRUE(bus.openedPaths.empty());
}

TEST_F(VantrelUsbTest, CheckDeviceOpensNothingAndKeepsAnOpenHandle) {
  devices.Plug("a", update);
  ASSERT_TRUE(usb.FindDevice());
  ASSERT_TRUE(usb.Open());
  bus.openedPaths.clear();
  usb.ClearFound();
  EXPECT_TRUE(usb.CheckDevice());
  EXPECT_TRUE(usb.IsFound());
  EXPECT_TRUE(bus.openedPaths.empty());
  EXPECT_TRUE(usb.HasHandle());
  uint8_t value = 0;
  EXPECT_TRUE(usb.ControlTransfer(0xC3, 0x91, 0, 0xA6, &value, 1));
}

TEST_F(VantrelUsbTest, NoDriverCallWithoutAHandle) {
  devices.Plug("a", update);
  ASSERT_TRUE(usb.FindDevice());
  bus.calls.clear();
  uint8_t value = 0;
  EXPECT_FALSE(usb.ControlTransfer(0xC3, 0x91, 0, 0xA6, &value, 1));
  ASSERT_TRUE(usb.Open());
  usb.Close();
  EXPECT_FALSE(usb.ControlTransfer(0x43, 0x90, 0, 0xA6, &value, 1));
  EXPECT_TRUE(bus.calls.empty());
  EXPECT_EQ(devices.transport.Transfers().size(), 1u); // the probe only
}

TEST_F(VantrelUsbTest, OpenTwiceLeavesOneHandle) {
  devices.Plug("a", update);
  ASSERT_TRUE(usb.FindDevice());
  ASSERT_TRUE(usb.Open());
  ASSERT_TRUE(usb.Open());
  EXPECT_EQ(bus.openHandles, 1);
  EXPECT_EQ(devices.bus.OpenHandleCount(), 1u);
  EXPECT_EQ(devices.transport.OpenConnections(), 1);
  EXPECT_EQ(update.OpenConnections(), 1);
}

TEST_F(VantrelUsbTest, DestructionClosesTheHandle) {
  devices.Plug("a", update);
  {
    VantrelUsb scoped(bus);
    ASSERT_TRUE(scoped.FindDevice());
    ASSERT_TRUE(scoped.Open());
    EXPECT_EQ(update.OpenConnections(), 1);
  }
  EXPECT_EQ(bus.openHandles, 0);
  EXPECT_EQ(update.OpenConnections(), 0);
}

TEST_F(VantrelUsbTest, SwitchingBackEndOrTargetTouchesNothingElse) {
  devices.Plug("a", update);
  ASSERT_TRUE(usb.FindDevice());
  ASSERT_TRUE(usb.Open());
  const std::string path = usb.DevicePath();
  usb.SetAudioDriver(true);
  ASSERT_TRUE(usb.SetTarget("vid_3b5d&pid_f0b5"));
  EXPECT_TRUE(usb.IsFound());
  EXPECT_EQ(usb.DevicePath(), path);
  EXPECT_TRUE(usb.HasHandle());
}

TEST_F(VantrelUsbTest, TargetLongerThan49CharactersIsRefused) {
  const std::string longest(49, 'x');
  EXPECT_FALSE(usb.SetTarget(longest + "y"));
  EXPECT_STREQ(usb.Target(), "vid_0c7e&pid_6000");
  EXPECT_TRUE(usb.SetTarget(longest));
  EXPECT_EQ(std::string(usb.Target()), longest);
}

TEST_F(VantrelUsbTest, PathLongerThan511CharactersIsSkippedNotCut) {
  const std::string prefix = EmulatedDriverBus::InterfacePath("mem", Identity(0x0C7E, 0x6000), kGuidUsbDevice);
  const size_t fixedLength = prefix.size(); // location empty
  devices.Plug(std::string(511 - fixedLength, 'k'), update);
  devices.Plug(std::string(512 - fixedLength, 'l'), twin);

  EXPECT_TRUE(usb.FindDevice());
  EXPECT_EQ(std::strlen(usb.DevicePath()), 511u);
  EXPECT_NE(std::string(usb.DevicePath()).find(".kkk"), std::string::npos);

  devices.Unplug(std::string(511 - fixedLength, 'k'));
  usb.ClearFound();
  EXPECT_FALSE(usb.FindDevice());
  EXPECT_FALSE(usb.IsFound());
  EXPECT_FALSE(usb.CheckDevice());
}

TEST_F(VantrelUsbTest, OpenFailureKeepsTheBusReason) {
  class RefusingTransport final : public UsbTransport {
  public:
    std::string Name() const override { return "usb"; }
    std::vector<UsbDeviceInfo> Enumerate() override {
      UsbDeviceInfo info = Identity(0x0C7E, 0x6000);
      info.location = "1-2";
      return {info};
    }
    std::unique_ptr<UsbConnection> Connect(const std::string &, DeviceError *error) override {
      *error = {DeviceErrorKind::AccessDenied, "permission denied on USB device 1-2"};
      return nullptr;
    }
  } refusing;
  EmulatedDriverBus refusingBus;
  refusingBus.AddTransport(refusing);
  VantrelUsb denied(refusingBus);

  EXPECT_FALSE(denied.FindDevice());
  EXPECT_TRUE(denied.IsFound());
  EXPECT_FALSE(denied.Open());
  EXPECT_EQ(denied.LastError(), "permission denied on USB device 1-2");
  EXPECT_EQ(denied.LastDeviceError().kind, DeviceErrorKind::AccessDenied);
  uint8_t value = 0;
  EXPECT_FALSE(denied.ControlTransfer(0xC3, 0x91, 0, 0xA6, &value, 1));
}

TEST_F(VantrelUsbTest, ShortInAnswerIsAFailure) {
  update.SetHandler([](const SetupPacket &setup, uint8_t *data) {
    std::memset(data, 0x77, 2);
    return TransferResult{TransferStatus::Completed, std::min<size_t>(2, setup.length)};
  });
  devices.Plug("a", update);
  ASSERT_TRUE(usb.FindDevice());
  ASSERT_TRUE(usb.Open());
  uint8_t data[4] = {1, 2, 3, 4};
  EXPECT_FALSE(usb.ControlTransfer(0xC3, 0x85, 0, 0, data, 4));
  EXPECT_EQ(data[0], 1); // no partial answer passed off as data
  EXPECT_NE(usb.LastError().find("2 of 4"), std::string::npos);
}

// A driver may report success with fewer bytes than asked for.
TEST(VantrelUsbDriverTest, InTransferWithFewerBytesReturnedFails) {
  class ShortDriver final : public DeviceBus {
  public:
    std::optional<std::vector<std::string>> ListInterfaces(const Guid &) override {
      return std::vector<std::string>{"\\\\?\\usb#vid_0c7e&pid_6000#x"};
    }
    DeviceHandle Open(const std::string &) override { return 7; }
    bool Control(DeviceHandle, const SetupPacket &setup, uint8_t *, uint32_t *bytesReturned) override {
      *bytesReturned = setup.length ? setup.length - 1u : 0u;
      return true;
    }
    bool Probe(DeviceHandle) override { return true; }
    void Close(DeviceHandle) override {}
  } driver;
  VantrelUsb usb(driver);
  static_cast<void>(usb.FindDevice()); // found or not, the open after it is what is checked
  ASSERT_TRUE(usb.Open());
  uint8_t data[4] = {};
  EXPECT_FALSE(usb.ControlTransfer(0xC3, 0x85, 0, 0, data, 4));
  // OUT: the audio driver reports nothing moved for a SET, so only IN is judged.
  EXPECT_TRUE(usb.ControlTransfer(0x43, 0x84, 0, 0, data, 4));
  EXPECT_TRUE(usb.ControlTransfer(0xC3, 0x85, 0, 0, nullptr, 0));
}

TEST_F(VantrelUsbTest, ListingFailureCountsAsNoDevice) {
  class UnlistableBus final : public DeviceBus {
  public:
    std::optional<std::vector<std::string>> ListInterfaces(const Guid &) override { return std::nullopt; }
    DeviceHandle Open(const std::string &) override { return kNullHandle; }
    bool Control(DeviceHandle, const SetupPacket &, uint8_t *, uint32_t *) override { return false; }
    bool Probe(DeviceHandle) override { return false; }
    void Close(DeviceHandle) override {}
  } unlistable;
  VantrelUsb lost(unlistable);
  EXPECT_TRUE(lost.SetTarget(""));
  EXPECT_FALSE(lost.FindDevice());
  EXPECT_FALSE(lost.IsFound());
  EXPECT_FALSE(lost.CheckDevice());
}

} // namespace
} // namespace orvane
