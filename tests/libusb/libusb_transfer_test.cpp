#include "emulated_usb_bus.h"

#include "sim/ChipSimulator.h"
#include "sim/SimConfig.h"
#include "usb/EmulatedDriverBus.h"
#include "usb/LibusbTransport.h"
#include "usb/VantrelUsb.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>

namespace orvane::libusb_test {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

constexpr unsigned kTimeoutMs = 200;

// One libusb transport over an emulated bus with a model behind a hub and
// both update-mode identities.
class LibusbTransferTest : public ::testing::Test {
protected:
  LibusbTransferTest() {
    bus.AddHub("1-1");
    bus.Plug("1-1.3", model);
    bus.Plug("1-2", update3b5d);
    bus.Plug("1-1.4", update0c7e);
  }

  std::unique_ptr<UsbConnection> Connect(const std::string &location) {
    DeviceError error;
    auto connection = transport.Connect(location, &error);
    EXPECT_TRUE(connection) << error.text;
    return connection;
  }

  // How long a register read the device never answers took to fail.
  static steady_clock::duration WaitForLostTransfer(UsbConnection &connection) {
    uint8_t answer = 0;
    const auto start = steady_clock::now();
    const TransferResult lost = connection.Control({0xC3, 0x91, 0, 0x10, 1}, &answer);
    const auto waited = steady_clock::now() - start;
    EXPECT_EQ(lost.status, TransferStatus::Failed);
    return waited;
  }

  VirtualClock time;
  EmulatedUsbBus bus; // before the transport's libusb context
  sim::ChipSimulator model{time, sim::SampleFirmwareConfig()};
  sim::ChipSimulator update3b5d{time, sim::UpdateModeConfig(0x3b5d)};
  sim::ChipSimulator update0c7e{time, sim::UpdateModeConfig(0x0c7e)};
  LibusbTransport transport{kTimeoutMs};
};

TEST_F(LibusbTransferTest, ListsEveryDeviceAtItsBusAndPortPathWithItsIdentity) {
  std::map<std::string, UsbDeviceInfo> listed;
  for (const UsbDeviceInfo &device : transport.Enumerate())
    listed[device.location] = device;

  ASSERT_EQ(listed.size(), 5u) << "root hub, hub and three devices";
  EXPECT_EQ(listed["usb1"].vendorId, 0x1d6b);
  EXPECT_EQ(listed["1-1"].productId, 0x0608);
  const auto &m = listed["1-1.3"];
  EXPECT_EQ(m.vendorId, 0x3b5d);
  EXPECT_EQ(m.productId, 0xf0b8);
  EXPECT_TRUE(m.hasAudioInterface);
  const auto &u = listed["1-2"];
  EXPECT_EQ(u.vendorId, 0x3b5d);
  EXPECT_EQ(u.productId, 0x6000);
  EXPECT_FALSE(u.hasAudioInterface);
  const auto &c = listed["1-1.4"];
  EXPECT_EQ(c.vendorId, 0x0c7e);
  EXPECT_EQ(c.productId, 0x6000);
  EXPECT_FALSE(c.hasAudioInterface);
  EXPECT_FALSE(listed["1-1"].hasAudioInterface);
}

TEST_F(LibusbTransferTest, VendorRequestsReachTheWireAsAskedAndTheChipAnswers) {
  auto connection = Connect("1-2");
  ASSERT_TRUE(connection);
  uint8_t bank = 5;
  EXPECT_EQ(connection->Control({0x43, 0x90, 0, 0x00, 1}, &bank).status, TransferStatus::Completed);
  uint8_t value = 0xA7;
  EXPECT_EQ(connection->Control({0x43, 0x90, 0, 0x31, 1}, &value).status, TransferStatus::Completed);
  uint8_t answer = 0;
  const TransferResult read = connection->Control({0xC3, 0x91, 0, 0x31, 1}, &answer);
  EXPECT_EQ(read.status, TransferStatus::Completed);
  EXPECT_EQ(read.actual, 1u);
  EXPECT_EQ(answer, 0xA7);
  uint8_t descriptor[18] = {};
  const TransferResult got = connection->Control({0x80, 6, 0x0100, 0, 18}, descriptor);
  EXPECT_EQ(got.actual, 18u);
  EXPECT_EQ(descriptor[8] | descriptor[9] << 8, 0x3b5d);
  EXPECT_EQ(descriptor[10] | descriptor[11] << 8, 0x6000);

  const std::vector<SetupPacket> expected = {
      {0x43, 0x90, 0, 0x00, 1}, {0x43, 0x90, 0, 0x31, 1}, {0xC3, 0x91, 0, 0x31, 1}, {0x80, 6, 0x0100, 0, 18}};
  EXPECT_EQ(bus.Node("1-2").Wire(), expected);
  EXPECT_EQ(update3b5d.Registers().Peek(5, 0x31), 0xA7);
  EXPECT_TRUE(bus.Node("1-1.3").Wire().empty()) << "nothing went to the other devices";
}

TEST_F(LibusbTransferTest, AStalledRequestIsReportedAsStalledAndTheNextOneGoesThrough) {
  auto connection = Connect("1-1.3");
  ASSERT_TRUE(connection);
  model.Faults().StallNth(1);
  uint8_t answer = 0;
  EXPECT_EQ(connection->Control({0xC3, 0x91, 0, 0x10, 1}, &answer).status, TransferStatus::Stalled);
  EXPECT_EQ(connection->Control({0xC3, 0x91, 0, 0x10, 1}, &answer).status, TransferStatus::Completed);
  // A flash request outside ISP mode is refused by the chip itself.
  uint8_t ready = 0;
  EXPECT_EQ(connection->Control({0xC3, 0x83, 0, 0, 1}, &ready).status, TransferStatus::Stalled);
}

TEST_F(LibusbTransferTest, ARemovedDeviceIsGoneOnItsOpenHandleAndNoLongerListedOrOpened) {
  auto connection = Connect("1-2");
  ASSERT_TRUE(connection);
  update3b5d.Unplug();
  bus.Sync();

  uint8_t answer = 0;
  EXPECT_EQ(connection->Control({0xC3, 0x91, 0, 0x10, 1}, &answer).status, TransferStatus::Gone);
  EXPECT_GE(bus.Node("1-2").RefusedAsGone(), 1u);
  for (const UsbDeviceInfo &device : transport.Enumerate())
    EXPECT_NE(device.location, "1-2");
  DeviceError error;
  EXPECT_FALSE(transport.Connect("1-2", &error));
  EXPECT_EQ(error, (DeviceError{DeviceErrorKind::Gone, "USB device 1-2 is gone"}));
}

TEST_F(LibusbTransferTest, TheGenericDriverSaysTheDeviceIsGoneWhenItWasRemovedUnderAnOpenHandle) {
  EmulatedDriverBus drivers;
  drivers.AddTransport(transport);
  VantrelUsb usb(drivers);
  ASSERT_TRUE(usb.SetTarget("vid_0c7e&pid_6000"));
  ASSERT_TRUE(usb.FindDevice());
  EXPECT_EQ(std::string(usb.DevicePath()),
            "\\\\?\\usb#vid_0c7e&pid_6000#usb.1-1.4#{a5dcbf10-6530-11d2-901f-00c04fb951ed}");
  ASSERT_TRUE(usb.Open());
  update0c7e.Unplug();
  bus.Sync();

  uint8_t answer = 0;
  EXPECT_FALSE(usb.ControlTransfer(0xC3, 0x91, 0, 0x10, &answer, 1));
  EXPECT_EQ(usb.LastError(), "the device is gone");
  EXPECT_EQ(usb.LastDeviceError().kind, DeviceErrorKind::Gone);
  usb.Close();
  EXPECT_FALSE(usb.CheckDevice());
}

TEST_F(LibusbTransferTest, ATransferTheDeviceNeverAnswersTimesOutAndTheHandleStaysUsable) {
  auto connection = Connect("1-1.4");
  ASSERT_TRUE(connection);
  bus.Node("1-1.4").SwallowTransfers(0, 1);

  const auto waited = WaitForLostTransfer(*connection);
  EXPECT_GE(waited, milliseconds(kTimeoutMs - 20));
  EXPECT_LT(waited, milliseconds(kTimeoutMs + 2000));
  EXPECT_EQ(bus.Node("1-1.4").Discarded(), 1u) << "the host took the transfer back";
  EXPECT_FALSE(bus.Node("1-1.4").HostKeptWaiting());

  uint8_t answer = 0;
  EXPECT_EQ(connection->Control({0xC3, 0x91, 0, 0x10, 1}, &answer).status, TransferStatus::Completed);
}

TEST_F(LibusbTransferTest, ATransportMadeWithTheDefaultTimeOutGivesUpOnAHeldTransferAfterASecond) {
  LibusbTransport defaults;
  DeviceError error;
  auto connection = defaults.Connect("1-2", &error);
  ASSERT_TRUE(connection) << error.text;
  bus.Node("1-2").SwallowTransfers(0, 1);

  const auto waited = WaitForLostTransfer(*connection);
  EXPECT_GE(waited, milliseconds(950));
  EXPECT_LT(waited, milliseconds(2000));
  EXPECT_EQ(bus.Node("1-2").Discarded(), 1u);
  EXPECT_FALSE(bus.Node("1-2").HostKeptWaiting());
}

TEST_F(LibusbTransferTest, ANodeWithoutWriteAccessIsRefusedAsAccessDenied) {
  bus.DenyWriteAccess("1-1.3");
  DeviceError error;
  {
    WithoutFileModeOverride asUser;
    EXPECT_FALSE(transport.Connect("1-1.3", &error));
  }
  // The advice that goes with it is the user's edge's to give.
  EXPECT_EQ(error, (DeviceError{DeviceErrorKind::AccessDenied, "permission denied on USB device 1-1.3"}));
  EXPECT_TRUE(bus.Node("1-1.3").Wire().empty());
  EXPECT_TRUE(Connect("1-2")) << "other devices still open";
}

} // namespace
} // namespace orvane::libusb_test
