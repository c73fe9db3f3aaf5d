#include "sim/SampleFirmware.h"
#include "sim_wire.h"

#include <gtest/gtest.h>

namespace orvane::sim {
namespace {

using namespace wire;

SimConfig WithFirmware(const char *model) {
  return SampleFirmwareConfig(*FindSimModel(model));
}

std::vector<uint8_t> DeviceDescriptorOf(ChipSimulator &chip, uint16_t index = 0) {
  std::vector<uint8_t> descriptor(18);
  SetupPacket setup{0x80, 0x06, 0x0100, index, 18};
  EXPECT_TRUE(chip.Control(setup, descriptor.data()).ok());
  return descriptor;
}

TEST(IspGateTest, OnlyTheExactKeysSwitchTheMode) {
  VirtualClock clock;
  ChipSimulator chip(clock);
  EXPECT_EQ(Out(chip, 0x84, 0x3C41, 0x71C4).status, TransferStatus::Stalled);
  EXPECT_EQ(Out(chip, 0x84, 0x3C40, 0x71C5).status, TransferStatus::Stalled);
  EXPECT_EQ(Out(chip, 0x84, 0x6B1E, 0x4A97).status, TransferStatus::Stalled);
  EXPECT_FALSE(chip.InIspMode());
  EXPECT_TRUE(EnterIsp(chip));
  EXPECT_TRUE(chip.InIspMode());
  EXPECT_EQ(Out(chip, 0x85, 0x3C41, 0x71C5).status, TransferStatus::Stalled);
  EXPECT_EQ(Out(chip, 0x85, 0x6B1E, 0x4A96).status, TransferStatus::Stalled);
  EXPECT_TRUE(chip.InIspMode());
  std::vector<uint8_t> none;
  EXPECT_EQ(In(chip, 0x84, 0x3C41, 0x71C5, none).status, TransferStatus::Stalled) << "wrong direction";
}

TEST(IspGateTest, FlashChannelAnswersOnlyInIspMode) {
  VirtualClock clock;
  ChipSimulator chip(clock);
  std::vector<uint8_t> reply(3);
  EXPECT_EQ(Out(chip, 0x80, 0, 1, {0x06}).status, TransferStatus::Stalled);
  EXPECT_EQ(Out(chip, 0x81, 3, 1, {0x9F}).status, TransferStatus::Stalled);
  EXPECT_EQ(In(chip, 0x82, 0, 0, reply).status, TransferStatus::Stalled);
  EXPECT_EQ(In(chip, 0x83, 0, 0, reply).status, TransferStatus::Stalled);
  EXPECT_EQ(chip.Flash().Status() & 0x02, 0) << "the stalled write enable never reached the flash";

  EnterIsp(chip);
  EXPECT_TRUE(Out(chip, 0x80, 0, 1, {0x06}).ok());
  EXPECT_EQ(Out(chip, 0x80, 0, 2, {0x04}).status, TransferStatus::Stalled) << "index is 0 or 1";
  EXPECT_EQ(Out(chip, 0x81, 257, 1, {0x03, 0, 0, 0}).status, TransferStatus::Stalled) << "reply beyond the buffer";
  LeaveIsp(chip);
  EXPECT_EQ(In(chip, 0x83, 0, 0, reply).status, TransferStatus::Stalled);
}

TEST(FlashChannelTest, ReplyIsThereOnceTheChannelReportsReady) {
  VirtualClock clock;
  SimConfig config;
  config.transferCostUs = 0;
  ChipSimulator chip(clock, config);
  EnterIsp(chip);
  std::vector<uint8_t> firmware(255);
  for (size_t i = 0; i < firmware.size(); ++i)
    firmware[i] = static_cast<uint8_t>(i);
  chip.Flash().Load(0, firmware.data(), firmware.size());

  std::vector<uint8_t> reply(255, 0xEE);
  ASSERT_TRUE(Out(chip, 0x81, 255, 1, {0x03, 0, 0, 0}).ok());
  EXPECT_FALSE(Ready(chip)) << "255 bytes take a while to shift in";
  In(chip, 0x82, 0, 0, reply);
  EXPECT_NE(reply, firmware) << "fetched too early: the buffer still holds older bytes";
  clock.AdvanceUs(300);
  EXPECT_TRUE(Ready(chip));
  EXPECT_EQ(In(chip, 0x82, 0, 0, reply).actual, 255u);
  EXPECT_EQ(reply, firmware);
}

TEST(FlashChannelTest, InstructionSplitOverTransfersKeepsChipSelectLow) {
  VirtualClock clock;
  ChipSimulator chip(clock);
  EnterIsp(chip);
  WriteEnable(chip);
  Out(chip, 0x80, 0, 0, {0x02});
  Out(chip, 0x80, 0, 0, {0x00, 0x00});
  Out(chip, 0x80, 0, 0, {0x40});
  EXPECT_FALSE(chip.Flash().Busy()) << "nothing happens before chip select rises";
  Out(chip, 0x80, 0, 1, {0xA5, 0x5A});
  EXPECT_TRUE(chip.Flash().Busy());
  WaitIdle(chip, 10, 1);
  EXPECT_EQ(chip.Flash().Contents()[0x40], 0xA5);
  EXPECT_EQ(chip.Flash().Contents()[0x41], 0x5A);
}

TEST(RegisterWindowTest, BankSelectAndPlainStorage) {
  VirtualClock clock;
  ChipSimulator chip(clock);
  WriteRegister(chip, 0x00, 0x0D);
  WriteRegister(chip, 0x07, 0x10);
  WriteRegister(chip, 0x01, 0x03);
  EXPECT_EQ(ReadRegister(chip, 0x00), 0x0D);
  WriteRegister(chip, 0x00, 0x03);
  EXPECT_EQ(ReadRegister(chip, 0x07), 0x00) << "another bank";
  WriteRegister(chip, 0x07, 0x77);
  WriteRegister(chip, 0x00, 0x0D);
  EXPECT_EQ(ReadRegister(chip, 0x07), 0x10);
  EXPECT_EQ(ReadRegister(chip, 0x01), 0x03);
  EXPECT_EQ(chip.Registers().Peek(0x03, 0x07), 0x77);

  std::vector<uint8_t> byte(1);
  EXPECT_EQ(Out(chip, 0x90, 0, 0x100, {0x01}).status, TransferStatus::Stalled) << "8-bit register addresses";
  EXPECT_EQ(Out(chip, 0x90, 0, 0x07).status, TransferStatus::Stalled) << "no data byte";
  EXPECT_EQ(Out(chip, 0x91, 0, 0x07, {0}).status, TransferStatus::Stalled) << "read sent as OUT";
  EXPECT_EQ(In(chip, 0x90, 0, 0x07, byte).status, TransferStatus::Stalled) << "write sent as IN";
  EXPECT_EQ(In(chip, 0x77, 0, 0, byte).status, TransferStatus::Stalled) << "unknown request";
}

TEST(IdentityTest, ModelWithFirmwareUpdateModeWhenBlank) {
  VirtualClock clock;
  ChipSimulator model(clock, WithFirmware("Orvane-R62"));
  auto info = model.Describe();
  EXPECT_EQ(info.vendorId, 0x3B5D);
  EXPECT_EQ(info.productId, 0xF0B8);
  EXPECT_TRUE(info.hasAudioInterface);
  EXPECT_FALSE(model.InUpdateMode());

  ChipSimulator blank(clock);
  info = blank.Describe();
  EXPECT_EQ(info.vendorId, 0x3B5D);
  EXPECT_EQ(info.productId, 0x6000);
  EXPECT_FALSE(info.hasAudioInterface);

  SimConfig other;
  other.updateVendorId = kAlternateUpdateVendorId;
  ChipSimulator alternate(clock, other);
  EXPECT_EQ(alternate.Describe().vendorId, 0x0C7E);
}

TEST(IdentityTest, DeviceDescriptorAnswersInEveryMode) {
  VirtualClock clock;
  ChipSimulator chip(clock, WithFirmware("Orvane-Summit"));
  auto descriptor = DeviceDescriptorOf(chip, 1);
  EXPECT_EQ(descriptor[0], 18);
  EXPECT_EQ(descriptor[1], 0x01);
  EXPECT_EQ(descriptor[8] | descriptor[9] << 8, 0x3B5D);
  EXPECT_EQ(descriptor[10] | descriptor[11] << 8, 0xF0B5);
  EXPECT_EQ(descriptor[12] | descriptor[13] << 8, chip.Describe().bcdDevice);
  EnterIsp(chip);
  EXPECT_EQ(DeviceDescriptorOf(chip), descriptor);

  std::vector<uint8_t> config(9);
  SetupPacket other{0x80, 0x06, 0x0200, 0, 9};
  EXPECT_EQ(chip.Control(other, config.data()).status, TransferStatus::Stalled);
}

TEST(IdentityTest, RestartsAfterIspIsLeftAndTheLastConnectionCloses) {
  VirtualClock clock;
  ChipSimulator chip(clock);
  const uint64_t before = chip.Generation();
  chip.ConnectionOpened();
  EnterIsp(chip);
  const auto firmware = GenerateSampleFirmware(chip.Config().model);
  for (uint32_t a = 0; a < 0x1000; a += 256) {
    WriteEnable(chip);
    PageProgram(chip, a, std::vector<uint8_t>(firmware.begin() + a, firmware.begin() + a + 256));
    WaitIdle(chip, 100, 1);
  }
  LeaveIsp(chip);
  WriteRegister(chip, 0x00, 0x0D);
  WriteRegister(chip, 0x07, 0x00);
  EXPECT_EQ(chip.Generation(), before) << "no restart while the connection is open";
  EXPECT_EQ(chip.Describe().productId, 0x6000);
  chip.ConnectionClosed();
  EXPECT_NE(chip.Generation(), before);
  EXPECT_EQ(chip.Describe().productId, 0xF0B8);
  EXPECT_TRUE(chip.Describe().hasAudioInterface);
  EXPECT_EQ(ReadRegister(chip, 0x00), 0x00) << "registers back at their reset values";
}

TEST(IdentityTest, ErasedFlashComesBackInUpdateMode) {
  VirtualClock clock;
  ChipSimulator chip(clock, WithFirmware("Orvane-R61"));
  EnterIsp(chip);
  WriteEnable(chip);
  Command(chip, {0xC7});
  WaitIdle(chip);
  const uint64_t before = chip.Generation();
  chip.ConnectionOpened();
  chip.ConnectionClosed();
  EXPECT_EQ(chip.Generation(), before) << "closing alone does not restart while ISP mode is on";
  LeaveIsp(chip);
  EXPECT_NE(chip.Generation(), before) << "no connection open: restarts at once";
  EXPECT_EQ(chip.Describe().productId, 0x6000);
  EXPECT_FALSE(chip.Describe().hasAudioInterface);
}

TEST(IdentityTest, ModelsAreFoundByNamePrefixOrProductId) {
  EXPECT_EQ(FindSimModel("Orvane-R62")->productId, 0xF0B8);
  EXPECT_EQ(FindSimModel("orvane_rb09_max")->productId, 0xF0B7);
  EXPECT_EQ(FindSimModel("f121")->displayName, "Orvane RB-Lantern");
  EXPECT_EQ(FindSimModel("0xF120")->filePrefix, "Orvane MR810");
  EXPECT_FALSE(FindSimModel("f0b"));
  EXPECT_FALSE(FindSimModel("Orvane-R63"));
  EXPECT_EQ(FindFlashPart("C2 22 11")->pageBytes, 32u);
  EXPECT_EQ(FindFlashPart("bf258c")->family, FlashFamily::Sst);
  EXPECT_FALSE(FindFlashPart("C22013"));
}

TEST(TransferCountTest, CountsEveryTransferByRequestCode) {
  VirtualClock clock;
  ChipSimulator chip(clock);
  ReadRegister(chip, 0xA6);
  ReadRegister(chip, 0xA6);
  WriteRegister(chip, 0x00, 0);
  Out(chip, 0x80, 0, 1, {0x06});
  EXPECT_EQ(chip.TransferCount(0x91), 2u);
  EXPECT_EQ(chip.TransferCount(0x90), 1u);
  EXPECT_EQ(chip.TransferCount(0x80), 1u) << "stalled ones count too";
  EXPECT_EQ(chip.TransferCount(), 4u);
}

} // namespace
} // namespace orvane::sim
