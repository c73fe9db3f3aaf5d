#include "testing/DriverRequestReader.h"
#include "testing/ScriptedDevice.h"
#include "testing/SimulatedDeviceStack.h"
#include "usb/DriverRequestBlock.h"
#include "usb/VantrelUsb.h"
#include "usb_test_support.h"

#include <gtest/gtest.h>

#include <functional>

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

// VantrelUsb holding a handle on one scripted device, with every setup
// packet the back-end was given and every transfer on the wire recorded.
class SetupPacketTest : public ::testing::Test {
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

TEST_F(SetupPacketTest, TheDeviceObjectGivesTheBackEndThePacketAsItIsOnEitherDriversPath) {
  for (const bool audio : {false, true}) {
    SCOPED_TRACE(audio ? "audio driver" : "generic driver");
    OpenWith(audio);
    uint8_t data[4] = {0x11, 0x22, 0x33, 0x44};
    ASSERT_TRUE(usb.ControlTransfer(0x43, 0x90, 0x1234, 0x00A6, data, 4));
    uint8_t value = 0;
    ASSERT_TRUE(usb.ControlTransfer(0xC3, 0x91, 0x0000, 0x00A6, &value, 1));

    ASSERT_EQ(bus.calls.size(), 2u);
    EXPECT_EQ(bus.calls[0].setup, (SetupPacket{0x43, 0x90, 0x1234, 0x00A6, 4}));
    EXPECT_EQ(bus.calls[0].out, (Bytes{0x11, 0x22, 0x33, 0x44}));
    EXPECT_EQ(bus.calls[1].setup, (SetupPacket{0xC3, 0x91, 0x0000, 0x00A6, 1}));
    EXPECT_EQ(value, 0xA0);

    ASSERT_EQ(devices.transport.Transfers().size(), 2u);
    EXPECT_EQ(devices.transport.Transfers()[0].setup, (SetupPacket{0x43, 0x90, 0x1234, 0x00A6, 4}));
    EXPECT_EQ(devices.transport.Transfers()[0].out, (Bytes{0x11, 0x22, 0x33, 0x44}));
    EXPECT_EQ(devices.transport.Transfers()[1].setup.length, 1);
    usb.Close();
  }
}

TEST_F(SetupPacketTest, TheAudioDriversPathCarriesOnlyTheDirection) {
  OpenWith(true);
  uint8_t data[4] = {9, 9, 9, 9};
  // A standard-type request type still goes out as a vendor request: the
  // audio driver carries bit 7 alone.
  ASSERT_TRUE(usb.ControlTransfer(0x80, 0x85, 0, 0x0100, data, 4));
  EXPECT_EQ(Bytes(data, data + 4), (Bytes{0xA0, 0xA1, 0xA2, 0xA3}));
  ASSERT_EQ(devices.transport.Transfers().size(), 1u);
  EXPECT_EQ(devices.transport.Transfers()[0].setup.requestType, 0xC3);
}

TEST_F(SetupPacketTest, ProbesOfBothDrivers) {
  EXPECT_TRUE(usb.SetTarget("vid_3b5d&pid_f0b8"));
  ASSERT_TRUE(usb.FindDevice());
  ASSERT_EQ(bus.calls.size(), 1u);
  EXPECT_TRUE(bus.calls[0].probe);
  ASSERT_EQ(devices.transport.Transfers().size(), 1u);
  EXPECT_EQ(devices.transport.Transfers()[0].setup, kDescriptorProbe);
  EXPECT_EQ(devices.transport.Transfers()[0].in.size(), 18u);

  bus.calls.clear();
  usb.SetAudioDriver(true);
  ASSERT_TRUE(usb.FindDevice());
  ASSERT_EQ(bus.calls.size(), 1u);
  EXPECT_TRUE(bus.calls[0].probe);
  EXPECT_EQ(bus.openHandles, 0); // both probes closed what they opened
}

// The Windows drivers' calls, byte for byte.

TEST(DriverRequestBlockTest, AudioDriverOutWithFourBytesIsA51ByteSetProperty) {
  const uint8_t data[4] = {0x11, 0x22, 0x33, 0x44};
  const DriverCall call = TransferCall(DriverKind::Audio, SetupPacket{0x43, 0x90, 0x1234, 0x00A6, 4}, data);
  EXPECT_EQ(call.code, kIoctlKsProperty);
  EXPECT_EQ(call.outLength, 4u);
  EXPECT_EQ(call.block, Concat({kPropertySet,
                                {0x07, 0, 0, 0, 0x02, 0, 0, 0},
                                {0x20, 0x90, 0x34, 0x12, 0xA6, 0x00, 0, 0, 0, 0, 0, 0, 4, 0, 0, 0},
                                {0x11, 0x22, 0x33, 0x44},
                                Bytes(7, 0)}));
}

TEST(DriverRequestBlockTest, AudioDriverInCopiesTheCallersBufferAndOnlyCarriesTheDirection) {
  const uint8_t data[4] = {9, 9, 9, 9};
  const DriverCall call = TransferCall(DriverKind::Audio, SetupPacket{0x80, 0x85, 0, 0x0100, 4}, data);
  EXPECT_EQ(call.block, Concat({kPropertySet,
                                {0x07, 0, 0, 0, 0x01, 0, 0, 0},
                                {0x20, 0x85, 0x00, 0x00, 0x00, 0x01, 0, 0, 0, 0, 0, 0, 4, 0, 0, 0},
                                {9, 9, 9, 9},
                                Bytes(7, 0)}));
  const auto read = DriverReads(DriverKind::Audio, call);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->setup.requestType, 0xC3) << "a vendor request to the chip, of the packet's direction";
}

TEST(DriverRequestBlockTest, AudioDriverWithoutDataIsA48ByteBlock) {
  const DriverCall call = TransferCall(DriverKind::Audio, SetupPacket{0xC3, 0x82, 0x0001, 0x0002, 0}, nullptr);
  EXPECT_EQ(call.block, Concat({kPropertySet,
                                {0x07, 0, 0, 0, 0x01, 0, 0, 0},
                                {0x20, 0x82, 0x01, 0x00, 0x02, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
                                Bytes(8, 0)}));
  EXPECT_EQ(call.outLength, 0u);
  EXPECT_EQ(AudioRequestBlockSize(1), 48u);
}

TEST(DriverRequestBlockTest, GenericDriverBlocksAndControlCodesFollowTheDirection) {
  const DriverCall in = TransferCall(DriverKind::Generic, SetupPacket{0xC3, 0x91, 0x0000, 0x00A6, 1}, nullptr);
  EXPECT_EQ(in.code, 0x0022242Eu);
  EXPECT_EQ(in.block, Concat({{0, 0, 0, 0, 0xC3, 0x91, 0x00, 0x00, 0xA6, 0x00, 0x00, 0x00}, Bytes(12, 0)}));
  EXPECT_EQ(in.outLength, 1u);
  const uint8_t data[2] = {0x55, 0x66};
  const DriverCall out = TransferCall(DriverKind::Generic, SetupPacket{0x43, 0x90, 0x0055, 0x00A6, 2}, data);
  EXPECT_EQ(out.code, 0x00222429u);
  EXPECT_EQ(out.block, Concat({{0, 0, 0, 0, 0x43, 0x90, 0x55, 0x00, 0xA6, 0x00, 0x00, 0x00}, Bytes(12, 0)}));
  EXPECT_EQ(out.outLength, 2u);
}

TEST(DriverRequestBlockTest, ProbesOfBothDrivers) {
  const DriverCall generic = ProbeCall(DriverKind::Generic);
  EXPECT_EQ(generic.code, kIoctlControlIn);
  EXPECT_EQ(generic.block, Concat({{0, 0, 0, 0, 0x80, 0x06, 0x00, 0x01, 0x01, 0x00, 0x12, 0x00}, Bytes(12, 0)}));
  EXPECT_EQ(generic.outLength, 18u);
  const DriverCall audio = ProbeCall(DriverKind::Audio);
  EXPECT_EQ(audio.code, kIoctlKsProperty);
  EXPECT_EQ(audio.block, Concat({kPropertySet, {0, 0, 0, 0, 0x00, 0x01, 0x00, 0x00}}));
  EXPECT_EQ(audio.outLength, 0u);
}

// Each driver reads back what the back-end built for it, and nothing else.

TEST(DriverRequestBlockTest, EachDriverReadsItsOwnCallsBackAsThePacketWithItsData) {
  const uint8_t data[3] = {7, 8, 9};
  for (const SetupPacket &setup : {SetupPacket{0xC3, 0x91, 0x10, 0xA6, 3}, SetupPacket{0x43, 0x90, 0xFFFF, 0x0001, 3},
                                   SetupPacket{0xC3, 0x82, 0, 0, 0}, SetupPacket{0x43, 0x84, 0x3C41, 0x71C5, 0}}) {
    const auto generic = DriverReads(DriverKind::Generic, TransferCall(DriverKind::Generic, setup, data));
    ASSERT_TRUE(generic);
    EXPECT_EQ(generic->setup, setup);
    EXPECT_FALSE(generic->probe);
    const auto audio = DriverReads(DriverKind::Audio, TransferCall(DriverKind::Audio, setup, data));
    ASSERT_TRUE(audio);
    EXPECT_EQ(audio->setup, setup);
    EXPECT_EQ(audio->blockData, Bytes(data, data + setup.length));
  }
  EXPECT_TRUE(DriverReads(DriverKind::Generic, ProbeCall(DriverKind::Generic))->probe);
  EXPECT_TRUE(DriverReads(DriverKind::Audio, ProbeCall(DriverKind::Audio))->probe);
}

TEST(DriverRequestBlockTest, EachDriverRefusesTheOthersCalls) {
  const uint8_t one[1] = {0};
  const SetupPacket read{0xC3, 0x91, 0, 0xA6, 1};
  EXPECT_FALSE(DriverReads(DriverKind::Audio, TransferCall(DriverKind::Generic, read, one)));
  EXPECT_FALSE(DriverReads(DriverKind::Generic, TransferCall(DriverKind::Audio, read, one)));
}

// Every malformed request fails as a driver refusing the call.
TEST(DriverRequestBlockTest, GenericDriverRefusesAnythingButItsLayout) {
  const DriverCall call = TransferCall(DriverKind::Generic, SetupPacket{0xC3, 0x91, 0, 0xA6, 1}, nullptr);
  ASSERT_TRUE(DriverReads(DriverKind::Generic, call));
  const auto changed = [&](const std::function<void(DriverCall &)> &change) {
    DriverCall copy = call;
    change(copy);
    return copy;
  };
  const std::vector<std::pair<std::string, DriverCall>> refused = {
      {"unknown code", changed([](DriverCall &c) { c.code = 0x00222430; })},
      {"OUT code on an IN request", changed([](DriverCall &c) { c.code = kIoctlControlOut; })},
      {"short block", changed([](DriverCall &c) { c.block.pop_back(); })},
      {"long block", changed([](DriverCall &c) { c.block.push_back(0); })},
      {"reserved byte set", changed([](DriverCall &c) { c.block[20] = 1; })},
      {"length field not the buffer length", changed([](DriverCall &c) { c.block[10] = 2; })},
  };
  for (const auto &[what, bad] : refused)
    EXPECT_FALSE(DriverReads(DriverKind::Generic, bad)) << what;
}

TEST(DriverRequestBlockTest, AudioDriverRefusesAnythingButItsLayouts) {
  const uint8_t two[2] = {5, 6};
  const DriverCall call = TransferCall(DriverKind::Audio, SetupPacket{0x43, 0x90, 1, 2, 2}, two);
  ASSERT_TRUE(DriverReads(DriverKind::Audio, call));

  const auto changed = [&](size_t offset, uint8_t value) {
    DriverCall copy = call;
    copy.block[offset] = value;
    return copy;
  };
  DriverCall shorter = call;
  shorter.block.pop_back();
  const std::vector<std::pair<std::string, DriverCall>> malformed = {
      {"other property set", changed(3, 0x00)},
      {"unknown property id", changed(16, 6)},
      {"unknown flags", changed(20, 3)},
      {"marker byte", changed(24, 0x21)},
      {"reserved byte", changed(31, 1)},
      {"length field", changed(36, 3)},
      {"fill byte", changed(48, 1)},
      {"block one byte short", shorter},
  };
  for (const auto &[what, bad] : malformed)
    EXPECT_FALSE(DriverReads(DriverKind::Audio, bad)) << what;
  DriverCall longerBuffer = call;
  longerBuffer.outLength = 3;
  EXPECT_FALSE(DriverReads(DriverKind::Audio, longerBuffer)) << "buffer not the data length";
  DriverCall genericCode = call;
  genericCode.code = kIoctlControlOut;
  EXPECT_FALSE(DriverReads(DriverKind::Audio, genericCode)) << "generic code";
  DriverCall probeWithOutput = ProbeCall(DriverKind::Audio);
  probeWithOutput.outLength = 2;
  EXPECT_FALSE(DriverReads(DriverKind::Audio, probeWithOutput)) << "probe with output";
  DriverCall probeWithGet = ProbeCall(DriverKind::Audio);
  probeWithGet.block[21] = 0;
  probeWithGet.block[20] = 1;
  EXPECT_FALSE(DriverReads(DriverKind::Audio, probeWithGet)) << "id 0 as GET";
}

} // namespace
} // namespace orvane
