// Two device buses as one: both lists in order, each path opened and each
// handle served by the bus it came from, losses and refusals kept apart.

#include "testing/InProcessTransport.h"
#include "testing/ScriptedDevice.h"
#include "usb/CombinedDeviceBus.h"
#include "usb/EmulatedDriverBus.h"
#include "usb_test_support.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

using test::Identity;

// A bus that knows no device at all and says why for every open.
class EmptyBus final : public DeviceBus {
public:
  std::optional<std::vector<std::string>> ListInterfaces(const Guid &) override { return std::nullopt; }
  DeviceHandle Open(const std::string &path) override {
    ++opens;
    error = {DeviceErrorKind::Gone, "USB device " + path + " is gone"};
    return kNullHandle;
  }
  bool Control(DeviceHandle, const SetupPacket &, uint8_t *, uint32_t *) override { return false; }
  bool Probe(DeviceHandle) override { return false; }
  void Close(DeviceHandle) override {}
  DeviceError LastDeviceError() const override { return error; }
  std::vector<std::string> ListingProblems() override { return {"the driver list could not be read"}; }

  int opens = 0;
  DeviceError error;
};

class CombinedDeviceBusTest : public ::testing::Test {
protected:
  CombinedDeviceBusTest() {
    realTransport.Attach("5&1&0&2", real);
    virtualTransport.Attach("r62", simulated);
    auto first = std::make_unique<EmulatedDriverBus>();
    first->AddTransport(realTransport);
    auto second = std::make_unique<EmulatedDriverBus>();
    second->AddTransport(virtualTransport);
    firstBus = first.get();
    secondBus = second.get();
    bus.Add(std::move(first));
    bus.Add(std::move(second));
  }

  // Reads one byte through the generic driver; the device's answer, or nullopt.
  std::optional<uint8_t> ReadOne(DeviceHandle handle) {
    uint8_t answer = 0;
    if (!bus.Control(handle, SetupPacket{0xC3, 0x91, 0, 0xA6, 1}, &answer, nullptr))
      return std::nullopt;
    return answer;
  }

  static ScriptedDevice::Handler Answering(uint8_t value) {
    return [value](const SetupPacket &setup, uint8_t *data) {
      if (setup.isIn() && setup.length)
        data[0] = value;
      return TransferResult{TransferStatus::Completed, setup.length};
    };
  }

  ScriptedDevice real{Identity(0x3b5d, 0xf0b8, true), Answering(0x11)};
  ScriptedDevice simulated{Identity(0x3b5d, 0xf0b6, true), Answering(0x22)};
  InProcessTransport realTransport{"usb"};
  InProcessTransport virtualTransport{"vusb"};
  EmulatedDriverBus *firstBus = nullptr;
  EmulatedDriverBus *secondBus = nullptr;
  CombinedDeviceBus bus;
};

TEST_F(CombinedDeviceBusTest, ListsBothBusesInOrderAndEachHandleReachesItsOwnDevice) {
  const auto paths = bus.ListInterfaces(kGuidUsbDevice);
  ASSERT_TRUE(paths);
  ASSERT_EQ(paths->size(), 2u);
  EXPECT_NE((*paths)[0].find("#usb.5&1&0&2#"), std::string::npos) << (*paths)[0];
  EXPECT_NE((*paths)[1].find("#vusb.r62#"), std::string::npos) << (*paths)[1];
  const DeviceHandle first = bus.Open((*paths)[0]);
  const DeviceHandle second = bus.Open((*paths)[1]);
  ASSERT_NE(first, kNullHandle);
  ASSERT_NE(second, kNullHandle);
  EXPECT_NE(first, second);
  EXPECT_EQ(ReadOne(first), 0x11);
  EXPECT_EQ(ReadOne(second), 0x22);
  EXPECT_EQ(realTransport.Transfers().size(), 1u);
  EXPECT_EQ(virtualTransport.Transfers().size(), 1u);
  EXPECT_EQ(bus.PlaceOf((*paths)[1])->location, "r62");
  bus.Close(first);
  EXPECT_EQ(firstBus->OpenHandleCount(), 0u);
  EXPECT_EQ(secondBus->OpenHandleCount(), 1u);
  EXPECT_FALSE(ReadOne(first));
  EXPECT_EQ(bus.LastError(), "invalid handle");
  bus.Close(second);
  EXPECT_EQ(secondBus->OpenHandleCount(), 0u);
}

TEST_F(CombinedDeviceBusTest, ALossIsTheLossOfTheBusThatOpenedTheHandle) {
  const auto paths = bus.ListInterfaces(kGuidUsbDevice);
  const DeviceHandle first = bus.Open((*paths)[0]);
  const DeviceHandle second = bus.Open((*paths)[1]);
  virtualTransport.Detach("r62");
  EXPECT_FALSE(ReadOne(second));
  EXPECT_EQ(bus.LastDeviceError().kind, DeviceErrorKind::Gone);
  EXPECT_EQ(bus.Loss(second), DeviceLoss::Unplugged);
  EXPECT_EQ(bus.Loss(first), DeviceLoss::None);
  EXPECT_EQ(ReadOne(first), 0x11);
  bus.Close(first);
  bus.Close(second);
}

TEST(CombinedDeviceBus, APathNoBusListedGetsTheReasonOfTheBusThatKnewItAndAllProblemsShow) {
  CombinedDeviceBus bus;
  auto emulated = std::make_unique<EmulatedDriverBus>();
  auto empty = std::make_unique<EmptyBus>();
  EmptyBus *system = empty.get();
  bus.Add(std::move(emulated));
  bus.Add(std::move(empty));
  const std::string path = "\\\\?\\usb#vid_3b5d&pid_6000#5&9&0&1#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
  EXPECT_EQ(bus.Open(path), kNullHandle);
  EXPECT_EQ(system->opens, 1);
  EXPECT_EQ(bus.LastError(), "USB device " + path + " is gone");
  EXPECT_EQ(bus.ListingProblems(), std::vector<std::string>{"the driver list could not be read"});
  const auto listed = bus.ListInterfaces(kGuidAudioDriver);
  ASSERT_TRUE(listed) << "one bus that lists is enough";
  EXPECT_TRUE(listed->empty());
}

} // namespace
} // namespace orvane
