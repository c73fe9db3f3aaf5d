#include "testing/InProcessTransport.h"
#include "testing/ScriptedDevice.h"
#include "usb/Clock.h"
#include "usb/EmulatedDriverBus.h"
#include "usb_test_support.h"

#include <gtest/gtest.h>

#include <functional>

namespace orvane {
namespace {

using Bytes = std::vector<uint8_t>;
using test::Identity;

// A vendor request to register 0xA6, as the tests send it.
SetupPacket Request(uint8_t requestType, uint8_t request, size_t length) {
  return {requestType, request, 0, 0xA6, static_cast<uint16_t>(length)};
}

class EmulatedDriverTest : public ::testing::Test {
protected:
  void SetUp() override {
    dongle.SetHandler([](const SetupPacket &setup, uint8_t *data) {
      for (size_t i = 0; setup.isIn() && i < setup.length; ++i)
        data[i] = static_cast<uint8_t>(i + 1);
      return TransferResult{TransferStatus::Completed, setup.length};
    });
    transport.Attach("r62", dongle);
    transport.Attach("isp", updater);
    bus.AddTransport(transport);
  }

  std::string PathOf(const ScriptedDevice &device, const std::string &location, const Guid &interfaceClass) {
    UsbDeviceInfo info = device.Describe();
    info.location = location;
    return EmulatedDriverBus::InterfacePath("mem", info, interfaceClass);
  }

  // setup.length is data's size.
  bool Call(DeviceHandle handle, SetupPacket setup, Bytes &data, uint32_t *returned = nullptr) {
    setup.length = static_cast<uint16_t>(data.size());
    return bus.Control(handle, setup, data.empty() ? nullptr : data.data(), returned);
  }

  ScriptedDevice dongle{Identity(0x3B5D, 0xF0B8, true)};
  ScriptedDevice updater{Identity(0x3B5D, 0x6000, false)};
  InProcessTransport transport;
  EmulatedDriverBus bus;
};

TEST_F(EmulatedDriverTest, ListsEveryDeviceForTheGenericDriverAndAudioDevicesForTheAudioDriver) {
  const auto generic = bus.ListInterfaces(kGuidUsbDevice);
  ASSERT_TRUE(generic);
  EXPECT_EQ(*generic,
            (std::vector<std::string>{"\\\\?\\usb#vid_3b5d&pid_f0b8#mem.r62#{a5dcbf10-6530-11d2-901f-00c04fb951ed}",
                                      "\\\\?\\usb#vid_3b5d&pid_6000#mem.isp#{a5dcbf10-6530-11d2-901f-00c04fb951ed}"}));
  const auto audio = bus.ListInterfaces(kGuidAudioDriver);
  ASSERT_TRUE(audio);
  EXPECT_EQ(*audio,
            (std::vector<std::string>{"\\\\?\\usb#vid_3b5d&pid_f0b8#mem.r62#{50894fa4-9206-4a91-8728-cf6f268f271d}"}));
  EXPECT_TRUE(bus.ListInterfaces(kGuidVendorPropertySet)->empty());
}

TEST_F(EmulatedDriverTest, TwoIdenticalDevicesHaveDifferentPaths) {
  ScriptedDevice second{Identity(0x3B5D, 0xF0B8, true)};
  transport.Attach("r62b", second);
  const auto audio = bus.ListInterfaces(kGuidAudioDriver);
  ASSERT_EQ(audio->size(), 2u);
  EXPECT_NE((*audio)[0], (*audio)[1]);
}

TEST_F(EmulatedDriverTest, OnlyPresentInterfacesOpen) {
  EXPECT_EQ(bus.Open(PathOf(updater, "isp", kGuidAudioDriver)), kNullHandle); // no audio interface
  EXPECT_EQ(bus.Open("\\\\?\\usb#vid_3b5d&pid_f0b8#mem.nowhere#{a5dcbf10-6530-11d2-901f-00c04fb951ed}"), kNullHandle);
  EXPECT_NE(bus.LastError().find("no such device"), std::string::npos);
  EXPECT_EQ(bus.LastDeviceError().kind, DeviceErrorKind::NoDevice);
  updater.SetPresent(false);
  EXPECT_EQ(bus.Open(PathOf(updater, "isp", kGuidUsbDevice)), kNullHandle);
  EXPECT_NE(bus.Open(PathOf(dongle, "r62", kGuidUsbDevice)), kNullHandle);
}

TEST_F(EmulatedDriverTest, AudioDriverSendsVendorRequestsInBothDirections) {
  const DeviceHandle handle = bus.Open(PathOf(dongle, "r62", kGuidAudioDriver));
  ASSERT_NE(handle, kNullHandle);
  Bytes answer(3, 0);
  uint32_t returned = 0;
  ASSERT_TRUE(Call(handle, SetupPacket{0x80, 0x91, 0x10, 0xA6}, answer, &returned));
  EXPECT_EQ(answer, (Bytes{1, 2, 3}));
  EXPECT_EQ(returned, 3u);
  Bytes sent{7, 8};
  ASSERT_TRUE(Call(handle, SetupPacket{0x00, 0x90, 0x11, 0xA7}, sent));

  ASSERT_EQ(transport.Transfers().size(), 2u);
  EXPECT_EQ(transport.Transfers()[0].setup, (SetupPacket{0xC3, 0x91, 0x10, 0xA6, 3}));
  EXPECT_EQ(transport.Transfers()[1].setup, (SetupPacket{0x43, 0x90, 0x11, 0xA7, 2}));
  EXPECT_EQ(transport.Transfers()[1].out, (Bytes{7, 8}));
}

TEST_F(EmulatedDriverTest, AGenericPathCarriesThePacketAsItIsAndAnUnknownHandleNothing) {
  const DeviceHandle handle = bus.Open(PathOf(dongle, "r62", kGuidUsbDevice));
  Bytes one(1, 0);
  ASSERT_TRUE(Call(handle, Request(0x80, 0x06, 1), one));
  EXPECT_EQ(transport.Transfers().back().setup, (SetupPacket{0x80, 0x06, 0, 0xA6, 1}));
  transport.ClearTransfers();
  EXPECT_FALSE(Call(handle + 100, Request(0xC3, 0x91, 1), one));
  EXPECT_EQ(bus.LastError(), "invalid handle");
  EXPECT_FALSE(bus.Control(handle, Request(0xC3, 0x91, 1), nullptr, nullptr)) << "no buffer for the data";
  EXPECT_TRUE(transport.Transfers().empty());
}

TEST_F(EmulatedDriverTest, AudioProbeSucceedsWhenTheDeviceAnswersAtAll) {
  const DeviceHandle handle = bus.Open(PathOf(dongle, "r62", kGuidAudioDriver));
  EXPECT_TRUE(bus.Probe(handle));
  transport.SetScriptHook([](const std::string &, const SetupPacket &, uint8_t *) {
    return std::optional<TransferResult>(TransferResult{TransferStatus::Stalled, 0});
  });
  EXPECT_FALSE(bus.Probe(handle));
  EXPECT_EQ(bus.LastDeviceError(), (DeviceError{DeviceErrorKind::Stalled, "the device rejected the request"}));
}

TEST_F(EmulatedDriverTest, ShortAnswersInEitherDirectionFail) {
  dongle.SetHandler([](const SetupPacket &setup, uint8_t *) {
    return TransferResult{TransferStatus::Completed, static_cast<size_t>(setup.length - 1)};
  });
  const DeviceHandle handle = bus.Open(PathOf(dongle, "r62", kGuidUsbDevice));
  const SetupPacket in = Request(0xC3, 0x85, 4);
  const SetupPacket out = Request(0x43, 0x84, 4);
  Bytes data{9, 9, 9, 9};
  uint32_t returned = 99;
  EXPECT_FALSE(Call(handle, in, data, &returned));
  EXPECT_EQ(data, (Bytes{9, 9, 9, 9}));
  EXPECT_EQ(returned, 0u);
  EXPECT_EQ(bus.LastDeviceError().kind, DeviceErrorKind::Failed);
  EXPECT_FALSE(Call(handle, out, data));
}

TEST_F(EmulatedDriverTest, ReenumerationMakesOldHandlesGone) {
  const std::string oldPath = PathOf(dongle, "r62", kGuidUsbDevice);
  const DeviceHandle handle = bus.Open(oldPath);
  const SetupPacket in = Request(0xC3, 0x85, 2);
  Bytes data(2, 0);
  ASSERT_TRUE(Call(handle, in, data));

  dongle.Reenumerate(Identity(0x3B5D, 0xF0B9, true));
  EXPECT_FALSE(Call(handle, in, data));
  EXPECT_EQ(transport.Transfers().back().status, TransferStatus::Gone);
  EXPECT_NE(bus.LastError().find("gone"), std::string::npos);
  EXPECT_EQ(bus.LastDeviceError().kind, DeviceErrorKind::Gone);
  EXPECT_EQ(bus.Open(oldPath), kNullHandle);

  const DeviceHandle renewed = bus.Open(PathOf(dongle, "r62", kGuidUsbDevice));
  ASSERT_NE(renewed, kNullHandle);
  EXPECT_TRUE(Call(renewed, in, data));

  transport.Detach("r62");
  EXPECT_FALSE(Call(renewed, in, data));
  EXPECT_EQ(transport.Transfers().back().status, TransferStatus::Gone);
}

TEST_F(EmulatedDriverTest, LatencyHookSeesEveryTransfer) {
  VirtualClock clock;
  transport.SetLatencyHook(
      [&clock](const SetupPacket &setup, const TransferResult &) { clock.AdvanceUs(125 + setup.length); });
  const DeviceHandle handle = bus.Open(PathOf(dongle, "r62", kGuidUsbDevice));
  const SetupPacket in = Request(0xC3, 0x85, 8);
  Bytes data(8, 0);
  ASSERT_TRUE(Call(handle, in, data));
  ASSERT_TRUE(Call(handle, in, data));
  EXPECT_EQ(clock.NowUs(), 2u * (125 + 8));
}

} // namespace
} // namespace orvane

namespace orvane {
namespace {

// A handle whose device went away, or whose transfers failed three times in
// a row, is lost for good: it sends nothing more, so whatever waits on the
// device above ends at once. A new handle starts afresh.
TEST_F(EmulatedDriverTest, GoneOrThreeFailuresInARowLoseTheDeviceForTheHandle) {
  std::vector<TransferStatus> script;
  int transfers = 0;
  dongle.SetHandler([&](const SetupPacket &setup, uint8_t *) {
    ++transfers;
    TransferStatus status = TransferStatus::Completed;
    if (!script.empty()) {
      status = script.front();
      script.erase(script.begin());
    }
    return TransferResult{status, status == TransferStatus::Completed ? setup.length : size_t{0}};
  });
  const std::string path = PathOf(dongle, "r62", kGuidUsbDevice);
  Bytes out(1);
  const auto read = [&](DeviceHandle handle) { return Call(handle, Request(0xC3, 0x91, 1), out); };

  DeviceHandle handle = bus.Open(path);
  script = {TransferStatus::Failed,  TransferStatus::Failed, TransferStatus::Completed,
            TransferStatus::Stalled, TransferStatus::Failed, TransferStatus::Failed};
  for (int i = 0; i < 6; ++i)
    read(handle);
  EXPECT_EQ(bus.Loss(handle), DeviceLoss::None) << "never three failures in a row";
  script = {TransferStatus::Failed};
  EXPECT_FALSE(read(handle));
  EXPECT_EQ(bus.Loss(handle), DeviceLoss::StoppedAnswering);
  EXPECT_FALSE(read(handle));
  EXPECT_EQ(transfers, 7) << "a lost device is not asked again";
  EXPECT_EQ(bus.LastDeviceError(), (DeviceError{DeviceErrorKind::Gone, "the device is gone"}));
  bus.Close(handle);

  handle = bus.Open(path);
  EXPECT_EQ(bus.Loss(handle), DeviceLoss::None);
  EXPECT_TRUE(read(handle));
  script = {TransferStatus::Gone};
  EXPECT_FALSE(read(handle));
  EXPECT_EQ(bus.Loss(handle), DeviceLoss::Unplugged);
  EXPECT_FALSE(read(handle));
  EXPECT_EQ(transfers, 9);
  bus.Close(handle);
  EXPECT_EQ(bus.Loss(handle), DeviceLoss::None) << "a closed handle is no handle";
}

} // namespace
} // namespace orvane

namespace orvane {
namespace {

TEST_F(EmulatedDriverTest, ADeviceUnpluggedBeforeTheOpenIsGoneAndAnUnknownOneIsNoDevice) {
  DeviceError error;
  updater.SetPresent(false);
  EXPECT_FALSE(transport.Connect("isp", &error));
  EXPECT_EQ(error, (DeviceError{DeviceErrorKind::Gone, "no device at isp"}));
  EXPECT_FALSE(transport.Connect("elsewhere", &error));
  EXPECT_EQ(error, (DeviceError{DeviceErrorKind::NoDevice, "no device at elsewhere"}));
}

} // namespace
} // namespace orvane
