#include "testing/ScriptedDevice.h"
#include "testing/SimulatedDeviceStack.h"
#include "usb/DriverRequestBlock.h"
#include "usb/VantrelUsb.h"
#include "usb_test_support.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

using Bytes = std::vector<uint8_t>;

const Bytes kPropertySet{0x4D, 0xC0, 0xD7, 0xF6, 0xC3, 0xC5, 0x81, 0x41,
                         0x9E, 0xD7, 0x50, 0x4A, 0xBE, 0x0C, 0xDD, 0xFF};

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes &part : parts)
    all.insert(all.end(), part.begin(), part.end());
  return all;
}

// VantrelUsb holding a handle on one scripted device, with every driver
// call and every transfer on the wire recorded.
class RequestBlockTest : public ::testing::Test {
protected:
  void SetUp() override {
    device.SetHandler([this](const SetupPacket &setup, uint8_t *data) {
      if (setup.isIn())
        for (size_t i = 0; i < setup.length; ++i)
          data[i] = static_cast<uint8_t>(0xA0 + i);
      return TransferResult{TransferStatus::Completed, setup.length};
    });
    devices.Plug("r62", device);
  }

  void OpenWith(bool audioDriver) {
    usb.SetAudioDriver(audioDriver);
    EXPECT_TRUE(usb.SetTarget("vid_3b5d&pid_f0b8"));
    ASSERT_TRUE(usb.FindDevice());
    ASSERT_TRUE(usb.Open());
    bus.calls.clear();
    devices.transport.ClearTransfers();
  }

  ScriptedDevice device{test::Identity(0x3B5D, 0xF0B8, true)};
  SimulatedDeviceStack devices;
  test::CountingBus bus{devices.bus};
  VantrelUsb usb{bus};
};

TEST_F(RequestBlockTest, AudioDriverOutWithFourBytesIsA51ByteSetProperty) {
  OpenWith(true);
  uint8_t data[4] = {0x11, 0x22, 0x33, 0x44};
  ASSERT_TRUE(usb.ControlTransfer(0x43, 0x90, 0x1234, 0x00A6, data, 4));

  ASSERT_EQ(bus.calls.size(), 1u);
  EXPECT_EQ(bus.calls[0].code, kIoctlKsProperty);
  EXPECT_EQ(bus.calls[0].outLength, 4u);
  EXPECT_EQ(bus.calls[0].in, Concat({kPropertySet,
                                     {0x07, 0, 0, 0, 0x02, 0, 0, 0},
                                     {0x20, 0x90, 0x34, 0x12, 0xA6, 0x00, 0, 0, 0, 0, 0, 0, 4, 0, 0, 0},
                                     {0x11, 0x22, 0x33, 0x44},
                                     Bytes(7, 0)}));

  ASSERT_EQ(devices.transport.Transfers().size(), 1u);
  const RecordedTransfer &wire = devices.transport.Transfers()[0];
  EXPECT_EQ(wire.setup, (SetupPacket{0x43, 0x90, 0x1234, 0x00A6, 4}));
  EXPECT_EQ(wire.out, (Bytes{0x11, 0x22, 0x33, 0x44}));
}

TEST_F(RequestBlockTest, AudioDriverInCopiesTheCallersBufferAndOnlyCarriesTheDirection) {
  OpenWith(true);
  uint8_t data[4] = {9, 9, 9, 9};
  // A standard-type request type still goes out as a vendor request: the
  // audio driver carries bit 7 alone.
  ASSERT_TRUE(usb.ControlTransfer(0x80, 0x85, 0, 0x0100, data, 4));

  ASSERT_EQ(bus.calls.size(), 1u);
  EXPECT_EQ(bus.calls[0].in, Concat({kPropertySet,
                                     {0x07, 0, 0, 0, 0x01, 0, 0, 0},
                                     {0x20, 0x85, 0x00, 0x00, 0x00, 0x01, 0, 0, 0, 0, 0, 0, 4, 0, 0, 0},
                                     {9, 9, 9, 9},
                                     Bytes(7, 0)}));
  EXPECT_EQ(Bytes(data, data + 4), (Bytes{0xA0, 0xA1, 0xA2, 0xA3}));
  ASSERT_EQ(devices.transport.Transfers().size(), 1u);
  EXPECT_EQ(devices.transport.Transfers()[0].setup.requestType, 0xC3);
}

TEST_F(RequestBlockTest, AudioDriverWithoutDataIsA48ByteBlock) {
  OpenWith(true);
  ASSERT_TRUE(usb.ControlTransfer(0xC3, 0x82, 0x0001, 0x0002, nullptr, 0));
  ASSERT_EQ(bus.calls.size(), 1u);
  EXPECT_EQ(bus.calls[0].in, Concat({kPropertySet,
                                     {0x07, 0, 0, 0, 0x01, 0, 0, 0},
                                     {0x20, 0x82, 0x01, 0x00, 0x02, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
                                     Bytes(8, 0)}));
  EXPECT_EQ(bus.calls[0].outLength, 0u);
  EXPECT_EQ(AudioRequestBlockSize(1), 48u);
}

TEST_F(RequestBlockTest, GenericDriverBlocksAndControlCodesFollowTheDirection) {
  OpenWith(false);
  uint8_t value = 0;
  ASSERT_TRUE(usb.ControlTransfer(0xC3, 0x91, 0x0000, 0x00A6, &value, 1));
  uint8_t data[2] = {0x55, 0x66};
  ASSERT_TRUE(usb.ControlTransfer(0x43, 0x90, 0x0055, 0x00A6, data, 2));

  ASSERT_EQ(bus.calls.size(), 2u);
  EXPECT_EQ(bus.calls[0].code, 0x0022242Eu);
  EXPECT_EQ(bus.calls[0].in, Concat({{0, 0, 0, 0, 0xC3, 0x91, 0x00, 0x00, 0xA6, 0x00, 0x00, 0x00}, Bytes(12, 0)}));
  EXPECT_EQ(bus.calls[0].outLength, 1u);
  EXPECT_EQ(value, 0xA0);
  EXPECT_EQ(bus.calls[1].code, 0x00222429u);
  EXPECT_EQ(bus.calls[1].in, Concat({{0, 0, 0, 0, 0x43, 0x90, 0x55, 0x00, 0xA6, 0x00, 0x00, 0x00}, Bytes(12, 0)}));
  EXPECT_EQ(bus.calls[1].outLength, 2u);

  ASSERT_EQ(devices.transport.Transfers().size(), 2u);
  EXPECT_EQ(devices.transport.Transfers()[0].setup.length, 1);
  EXPECT_EQ(devices.transport.Transfers()[1].out, (Bytes{0x55, 0x66}));
}

TEST_F(RequestBlockTest, ProbesOfBothDrivers) {
  EXPECT_TRUE(usb.SetTarget("vid_3b5d&pid_f0b8"));
  ASSERT_TRUE(usb.FindDevice());
  ASSERT_EQ(bus.calls.size(), 1u);
  EXPECT_EQ(bus.calls[0].code, kIoctlControlIn);
  EXPECT_EQ(bus.calls[0].in, Concat({{0, 0, 0, 0, 0x80, 0x06, 0x00, 0x01, 0x01, 0x00, 0x12, 0x00}, Bytes(12, 0)}));
  EXPECT_EQ(bus.calls[0].outLength, 18u);
  ASSERT_EQ(devices.transport.Transfers().size(), 1u);
  EXPECT_EQ(devices.transport.Transfers()[0].setup.index, 1);
  EXPECT_EQ(devices.transport.Transfers()[0].in.size(), 18u);

  bus.calls.clear();
  usb.SetAudioDriver(true);
  ASSERT_TRUE(usb.FindDevice());
  ASSERT_EQ(bus.calls.size(), 1u);
  EXPECT_EQ(bus.calls[0].code, kIoctlKsProperty);
  EXPECT_EQ(bus.calls[0].in, Concat({kPropertySet, {0, 0, 0, 0, 0x00, 0x01, 0x00, 0x00}}));
  EXPECT_EQ(bus.calls[0].outLength, 0u);
  EXPECT_EQ(bus.openHandles, 0); // both probes closed what they opened
}

} // namespace
} // namespace orvane
