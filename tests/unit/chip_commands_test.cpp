#include "chip_test_rig.h"
#include "usb_test_support.h"

#include <gtest/gtest.h>

#include <map>

namespace orvane {
namespace {

using test::ChipRig;
using test::In;
using test::Out;

// A chip whose flash channel answers from a few knobs and whose registers
// are plain storage.
struct FakeChip {
  bool ready = true;
  int notReadyPolls = 0; // polls that report not ready before ready does count
  bool stallQuery = false;
  bool stallFetch = false;
  bool stallInstruction = false; // the flash instruction that opens a page program
  int stallNthDataWrite = 0;     // counted from 1 among the writes with index 1; 0 for none
  bool stallRegisterWrite = false;
  uint8_t fill = 0xA5;
  std::map<uint8_t, uint8_t> registers;

  TransferResult operator()(const SetupPacket &s, uint8_t *data) {
    switch (s.request) {
    case 0x81:
      return {stallQuery ? TransferStatus::Stalled : TransferStatus::Completed, stallQuery ? 0u : s.length};
    case 0x83:
      data[0] = ready && notReadyPolls-- <= 0 ? 1 : 0;
      return {TransferStatus::Completed, 1};
    case 0x82:
      if (stallFetch)
        return {TransferStatus::Stalled, 0};
      std::fill_n(data, s.length, fill);
      return {TransferStatus::Completed, s.length};
    case 0x80:
      if (stallInstruction && s.index == 0)
        return {TransferStatus::Stalled, 0};
      if (s.index == 1 && stallNthDataWrite > 0 && --stallNthDataWrite == 0)
        return {TransferStatus::Stalled, 0};
      return {TransferStatus::Completed, s.length};
    case 0x90:
      if (stallRegisterWrite)
        return {TransferStatus::Stalled, 0};
      registers[static_cast<uint8_t>(s.index)] = data[0];
      return {TransferStatus::Completed, 1};
    case 0x91:
      data[0] = registers[static_cast<uint8_t>(s.index)];
      return {TransferStatus::Completed, 1};
    default:
      return {TransferStatus::Completed, s.length};
    }
  }
};

class ChipCommandsTest : public ::testing::Test {
protected:
  FakeChip fake;
  ScriptedDevice device{test::Identity(0x3b5d, 0x6000),
                        [this](const SetupPacket &s, uint8_t *d) { return fake(s, d); }};
  ChipRig rig{device};
};

TEST_F(ChipCommandsTest, FlashReadOf64BytesQueriesWaitsAndFetches) {
  std::array<uint8_t, 64> buffer{};
  ASSERT_TRUE(rig.chip.FlashRead(0x012340, 64, buffer.data()));
  const auto &wire = rig.Wire();
  ASSERT_EQ(wire.size(), 3u);
  EXPECT_EQ(wire[0].setup, Out(0x81, 64, 1, 4));
  EXPECT_EQ(wire[0].out, (std::vector<uint8_t>{0x03, 0x01, 0x23, 0x40}));
  EXPECT_EQ(wire[1].setup, In(0x83, 0, 0, 1));
  EXPECT_EQ(wire[2].setup, In(0x82, 0, 0, 64));
  EXPECT_EQ(buffer[63], 0xA5);
}

TEST_F(ChipCommandsTest, FlashReadStopsAtAFailedQuery) {
  fake.stallQuery = true;
  std::array<uint8_t, 64> buffer{};
  EXPECT_FALSE(rig.chip.FlashRead(0, 64, buffer.data()));
  EXPECT_EQ(rig.Wire().size(), 1u);
}

TEST_F(ChipCommandsTest, AnIdentifierQueryThatFailsKeepsTheLastIdentifierAndAsksNothingMore) {
  fake.fill = 0xC2;
  ASSERT_TRUE(rig.chip.FlashReadId());
  rig.transport.ClearTransfers();
  fake.stallQuery = true;
  fake.fill = 0xEF;
  EXPECT_FALSE(rig.chip.FlashReadId());
  EXPECT_EQ(rig.chip.FlashId(), (std::array<uint8_t, 3>{0xC2, 0xC2, 0xC2}));
  EXPECT_EQ(rig.Wire().size(), 1u) << "no ready poll or fetch of an answer that was never asked for";
}

TEST_F(ChipCommandsTest, APageProgramWhoseInstructionFailedIsAFailureAfterTheSameTransfers) {
  fake.stallInstruction = true;
  std::array<uint8_t, 256> page{};
  EXPECT_FALSE(rig.chip.FlashPageProgram(0x000100, 256, page.data()));
  EXPECT_EQ(rig.Wire().size(), 2u);
}

// The flash takes each word at the next address: a word lost in the middle
// shifts all after it, so it fails the whole chunk, not only a lost last one.
TEST_F(ChipCommandsTest, AWordProgramWithALostWordInTheMiddleIsAFailureAfterTheSameTransfers) {
  fake.stallNthDataWrite = 5;
  std::array<uint8_t, 32> data{};
  EXPECT_FALSE(rig.chip.FlashWordProgram(0x000100, 32, data.data()));
  EXPECT_EQ(rig.Wire().size(), 16u);
}

TEST_F(ChipCommandsTest, EnteringIspModeFailsWhenTheIspBankCannotBeSetUp) {
  fake.stallRegisterWrite = true;
  EXPECT_FALSE(rig.chip.SetIspMode(true));
  EXPECT_TRUE(rig.chip.SetIspMode(false)) << "leaving, the chip may already be restarting";
}

TEST_F(ChipCommandsTest, AParameterTransferWhoseWritesFailSaysSo) {
  rig.usb.Close();
  fake.stallRegisterWrite = true;
  uint8_t data[4] = {0xA1, 0, 0, 0};
  EXPECT_FALSE(rig.chip.ParameterTransfer(0x10, 0x20, 0, 4, data));
}

TEST_F(ChipCommandsTest, FlashReadGivesUpAfterAHundredPollsAndLeavesTheBuffer) {
  fake.ready = false;
  std::array<uint8_t, 64> buffer{};
  buffer.fill(0x11);
  EXPECT_FALSE(rig.chip.FlashRead(0, 64, buffer.data()));
  EXPECT_EQ(rig.Wire().size(), 101u); // the query and 100 polls, no fetch
  EXPECT_EQ(rig.Wire().back().setup.request, 0x83);
  EXPECT_EQ(rig.clock.NowUs(), 100'000u);
  EXPECT_EQ(buffer[0], 0x11);
}

TEST_F(ChipCommandsTest, FlashReadSleepsAMillisecondAfterEachPollThatIsNotReady) {
  fake.notReadyPolls = 2;
  std::array<uint8_t, 64> buffer{};
  ASSERT_TRUE(rig.chip.FlashRead(0x000040, 64, buffer.data()));
  ASSERT_EQ(rig.Wire().size(), 5u); // query, two misses, ready, fetch
  EXPECT_EQ(rig.Wire()[3].setup, In(0x83, 0, 0, 1));
  EXPECT_EQ(rig.Wire()[4].setup, In(0x82, 0, 0, 64));
  EXPECT_EQ(rig.clock.NowUs(), 2'000u);
}

TEST_F(ChipCommandsTest, FlashReadRefusesLengthsTheFetchCannotCarry) {
  std::array<uint8_t, 256> buffer{};
  EXPECT_FALSE(rig.chip.FlashRead(0, 256, buffer.data()));
  EXPECT_FALSE(rig.chip.FlashRead(0, 0, buffer.data()));
  EXPECT_TRUE(rig.Wire().empty());
}

TEST_F(ChipCommandsTest, StatusOfAChipThatNeverGetsReadyIsFFAfterTenPolls) {
  fake.ready = false;
  EXPECT_EQ(rig.chip.ReadStatus().value_or(0xFF), 0xFF);
  ASSERT_EQ(rig.Wire().size(), 11u);
  EXPECT_EQ(rig.Wire()[0].setup, Out(0x81, 1, 1, 1));
  EXPECT_EQ(rig.Wire()[0].out, std::vector<uint8_t>{0x05});
  EXPECT_EQ(rig.clock.NowUs(), 0u); // no sleeping between these polls
}

TEST_F(ChipCommandsTest, StatusIsTheFetchedByteAndFFWhenTheFetchFails) {
  fake.fill = 0x02;
  fake.notReadyPolls = 9; // ready on the tenth and last poll
  EXPECT_EQ(rig.chip.ReadStatus().value_or(0xFF), 0x02);
  ASSERT_EQ(rig.Wire().size(), 12u);
  EXPECT_EQ(rig.Wire().back().setup, In(0x82, 0, 0, 1));

  fake.stallFetch = true;
  EXPECT_EQ(rig.chip.ReadStatus().value_or(0xFF), 0xFF);
}

TEST_F(ChipCommandsTest, ReadIdFillsTheIdentifier) {
  fake.fill = 0xC2;
  ASSERT_TRUE(rig.chip.FlashReadId());
  EXPECT_EQ(rig.flashId, (std::array<uint8_t, 3>{0xC2, 0xC2, 0xC2}));
  EXPECT_EQ(rig.Wire()[0].out, std::vector<uint8_t>{0x9F});
  EXPECT_EQ(rig.Wire()[0].setup.value, 3);
}

TEST_F(ChipCommandsTest, ReadIdThatNeverGetsReadyKeepsTheOldIdentifier) {
  rig.flashId = {1, 2, 3};
  fake.ready = false;
  EXPECT_FALSE(rig.chip.FlashReadId());
  EXPECT_EQ(rig.flashId, (std::array<uint8_t, 3>{1, 2, 3}));
  EXPECT_EQ(rig.Wire().size(), 101u);
}

TEST_F(ChipCommandsTest, ReadIdWhoseFetchFailsKeepsTheOldIdentifier) {
  rig.flashId = {1, 2, 3};
  fake.stallFetch = true;
  EXPECT_FALSE(rig.chip.FlashReadId());
  EXPECT_EQ(rig.flashId, (std::array<uint8_t, 3>{1, 2, 3}));
}

TEST_F(ChipCommandsTest, PageProgramSendsTheAddressThenThePage) {
  std::vector<uint8_t> page(256);
  for (size_t i = 0; i < page.size(); ++i)
    page[i] = static_cast<uint8_t>(i);
  ASSERT_TRUE(rig.chip.FlashPageProgram(0x000100, 256, page.data()));
  ASSERT_EQ(rig.Wire().size(), 2u);
  EXPECT_EQ(rig.Wire()[0].setup, Out(0x80, 0, 0, 4));
  EXPECT_EQ(rig.Wire()[0].out, (std::vector<uint8_t>{0x02, 0x00, 0x01, 0x00}));
  EXPECT_EQ(rig.Wire()[1].setup, Out(0x80, 0, 1, 256));
  EXPECT_EQ(rig.Wire()[1].out, page);
}

TEST_F(ChipCommandsTest, WordProgramOf32BytesIsOneHeadAndFifteenPairs) {
  std::vector<uint8_t> data(32);
  for (size_t i = 0; i < data.size(); ++i)
    data[i] = static_cast<uint8_t>(0x40 + i);
  ASSERT_TRUE(rig.chip.FlashWordProgram(0x001000, 32, data.data()));
  const auto &wire = rig.Wire();
  ASSERT_EQ(wire.size(), 16u);
  EXPECT_EQ(wire[0].setup, Out(0x80, 0, 1, 6));
  EXPECT_EQ(wire[0].out, (std::vector<uint8_t>{0xAD, 0x00, 0x10, 0x00, 0x40, 0x41}));
  for (size_t i = 1; i < wire.size(); ++i) {
    EXPECT_EQ(wire[i].setup, Out(0x80, 0, 1, 3));
    EXPECT_EQ(wire[i].out, (std::vector<uint8_t>{0xAD, data[2 * i], data[2 * i + 1]}));
  }
}

TEST_F(ChipCommandsTest, ProgramCommandsRefuseLengthsTheyCannotSend) {
  std::vector<uint8_t> data(300, 0);
  EXPECT_FALSE(rig.chip.FlashPageProgram(0, 257, data.data()));
  EXPECT_FALSE(rig.chip.FlashWordProgram(0, 31, data.data()));
  EXPECT_FALSE(rig.chip.FlashWordProgram(0, 0, data.data()));
  EXPECT_TRUE(rig.Wire().empty());
}

TEST_F(ChipCommandsTest, SimpleInstructions) {
  EXPECT_TRUE(rig.chip.FlashSectorErase(0x012345));
  EXPECT_TRUE(rig.chip.FlashWriteEnable());
  EXPECT_TRUE(rig.chip.FlashWriteDisable());
  EXPECT_TRUE(rig.chip.FlashChipErase());
  EXPECT_TRUE(rig.chip.FlashWriteStatus(0x7F));
  const auto &wire = rig.Wire();
  ASSERT_EQ(wire.size(), 5u);
  EXPECT_EQ(wire[0].setup, Out(0x80, 0, 1, 4));
  EXPECT_EQ(wire[0].out, (std::vector<uint8_t>{0x20, 0x01, 0x23, 0x45}));
  EXPECT_EQ(wire[1].out, std::vector<uint8_t>{0x06});
  EXPECT_EQ(wire[2].out, std::vector<uint8_t>{0x04});
  EXPECT_EQ(wire[3].out, std::vector<uint8_t>{0xC7});
  EXPECT_EQ(wire[4].out, (std::vector<uint8_t>{0x01, 0x7F}));
}

TEST_F(ChipCommandsTest, RegisterReadAndBankSelection) {
  fake.registers[0x12] = 0x5A;
  uint8_t value = 0;
  EXPECT_TRUE(rig.chip.ReadRegister(0x12, value));
  EXPECT_EQ(value, 0x5A);
  EXPECT_TRUE(rig.chip.SelectBank(0x0E));
  ASSERT_EQ(rig.Wire().size(), 2u);
  EXPECT_EQ(rig.Wire()[0].setup, In(0x91, 0, 0x12, 1));
  EXPECT_EQ(rig.Wire()[1].setup, Out(0x90, 0, 0x00, 1));
  EXPECT_EQ(rig.Wire()[1].out, std::vector<uint8_t>{0x0E});
}

TEST_F(ChipCommandsTest, RegisterWriteSendsOnlyTheLowByte) {
  EXPECT_TRUE(rig.chip.WriteRegister(0x12, 0x1FF));
  ASSERT_EQ(rig.Wire().size(), 1u);
  EXPECT_EQ(rig.Wire()[0].setup, Out(0x90, 0, 0x12, 1));
  EXPECT_EQ(rig.Wire()[0].out, std::vector<uint8_t>{0xFF});
}

TEST_F(ChipCommandsTest, EnteringAndLeavingIspMode) {
  EXPECT_TRUE(rig.chip.SetIspMode(true));
  EXPECT_TRUE(rig.chip.SetIspMode(false));
  const auto &wire = rig.Wire();
  ASSERT_EQ(wire.size(), 7u);
  EXPECT_EQ(wire[0].setup, Out(0x84, 0x3C41, 0x71C5, 0));
  EXPECT_EQ(wire[1].setup, Out(0x90, 0, 0x00, 1));
  EXPECT_EQ(wire[1].out, std::vector<uint8_t>{0x0D});
  EXPECT_EQ(wire[2].setup.index, 0x07);
  EXPECT_EQ(wire[2].out, std::vector<uint8_t>{0x10});
  EXPECT_EQ(wire[3].setup.index, 0x01);
  EXPECT_EQ(wire[3].out, std::vector<uint8_t>{0x03});
  EXPECT_EQ(wire[4].setup, Out(0x85, 0x6B1E, 0x4A97, 0));
  EXPECT_EQ(wire[5].out, std::vector<uint8_t>{0x0D});
  EXPECT_EQ(wire[6].setup.index, 0x07); // register 1 is left alone
  EXPECT_EQ(wire[6].out, std::vector<uint8_t>{0x00});
}

// Register indexes of the register writes (0x90) and reads (0x91) in order.
std::vector<std::pair<uint8_t, uint8_t>> RegisterTraffic(const std::vector<RecordedTransfer> &wire) {
  std::vector<std::pair<uint8_t, uint8_t>> traffic;
  for (const auto &t : wire)
    traffic.emplace_back(t.setup.request, static_cast<uint8_t>(t.setup.index));
  return traffic;
}

TEST_F(ChipCommandsTest, ParameterWriteFillsTheMailboxStartsAndClears) {
  rig.usb.Close();
  fake.registers[0x90] = 0; // the firmware never finishes: 20 polls
  uint8_t data[4] = {0xA1, 0, 0, 0};
  EXPECT_TRUE(rig.chip.ParameterTransfer(0x10, 0x20, 0, 4, data));
  std::vector<std::pair<uint8_t, uint8_t>> expected = {{0x90, 0x00}, {0x90, 0x93}, {0x90, 0x94}, {0x90, 0x95},
                                                       {0x90, 0x96}, {0x90, 0x91}, {0x90, 0x92}, {0x90, 0x90}};
  for (int i = 0; i < 20; ++i)
    expected.push_back({0x91, 0x90});
  expected.push_back({0x90, 0x90});
  EXPECT_EQ(RegisterTraffic(rig.Wire()), expected);
  EXPECT_EQ(rig.Wire().back().out, std::vector<uint8_t>{0x00});
  EXPECT_EQ(rig.clock.NowUs(), 200'000u);
  EXPECT_FALSE(rig.usb.HasHandle());
}

TEST_F(ChipCommandsTest, ParameterReadPollsThenReadsTheDataAndLeavesTheCommand) {
  rig.usb.Close();
  fake.registers[0x93] = 0x11;
  fake.registers[0x96] = 0x80;
  // The firmware has finished by the second poll.
  device.SetHandler([this](const SetupPacket &s, uint8_t *d) {
    if (s.request == 0x91 && s.index == 0x90)
      fake.registers[0x90] = 0xEE;
    return fake(s, d);
  });
  uint8_t data[4] = {};
  EXPECT_TRUE(rig.chip.ParameterTransfer(0x10, 0x21, 0, 4, data));
  const std::vector<std::pair<uint8_t, uint8_t>> expected = {{0x90, 0x00}, {0x90, 0x91}, {0x90, 0x92},
                                                             {0x90, 0x90}, {0x91, 0x90}, {0x91, 0x93},
                                                             {0x91, 0x94}, {0x91, 0x95}, {0x91, 0x96}};
  EXPECT_EQ(RegisterTraffic(rig.Wire()), expected);
  EXPECT_EQ(data[0], 0x11);
  EXPECT_EQ(data[3], 0x80);
}

} // namespace
} // namespace orvane
