#include "sim_wire.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace orvane::sim {
namespace {

using namespace wire;

std::vector<uint8_t> Bytes(ChipSimulator &chip, uint32_t address, size_t count) {
  const auto &memory = chip.Flash().Contents();
  return {memory.begin() + address, memory.begin() + address + count};
}

bool AllErased(ChipSimulator &chip, uint32_t address, size_t count) {
  const auto bytes = Bytes(chip, address, count);
  return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0xFF; });
}

class PagePartTest : public ::testing::TestWithParam<const char *> {
protected:
  VirtualClock clock;
  ChipSimulator chip{clock, ConfigFor(GetParam())};
  void SetUp() override { ASSERT_TRUE(EnterIsp(chip)); }
};

TEST_P(PagePartTest, ProgramEraseAndStatusWriteNeedTheLatchAndClearIt) {
  const auto data = Pattern(32, 0x10);
  PageProgram(chip, 0x100, data);
  EXPECT_TRUE(AllErased(chip, 0x100, 32)) << "program without write enable";

  WriteEnable(chip);
  EXPECT_EQ(Status(chip) & 0x02, 0x02);
  PageProgram(chip, 0x100, data);
  ASSERT_TRUE(WaitIdle(chip, 100, 1));
  EXPECT_EQ(Status(chip) & 0x02, 0) << "latch cleared after the program";
  EXPECT_EQ(Bytes(chip, 0x100, 32), data);

  PageProgram(chip, 0x200, data);
  EXPECT_TRUE(AllErased(chip, 0x200, 32)) << "a second program needs a second write enable";

  Command(chip, {0x20, 0x00, 0x01, 0x00});
  EXPECT_FALSE(Status(chip) & 0x01);
  EXPECT_EQ(Bytes(chip, 0x100, 32), data) << "sector erase without write enable";
  Command(chip, {0xC7});
  EXPECT_EQ(Bytes(chip, 0x100, 32), data) << "chip erase without write enable";
  Command(chip, {0x01, 0x0C});
  EXPECT_EQ(Status(chip), 0x00) << "status write without write enable";

  WriteEnable(chip);
  Command(chip, {0x20, 0x00, 0x01, 0x23});
  ASSERT_TRUE(WaitIdle(chip));
  EXPECT_EQ(Status(chip) & 0x02, 0);
  EXPECT_TRUE(AllErased(chip, 0x000, 4096));

  WriteEnable(chip);
  Command(chip, {0x01, 0x04});
  ASSERT_TRUE(WaitIdle(chip));
  EXPECT_EQ(Status(chip), 0x04);
  WriteEnable(chip);
  WriteDisable(chip);
  EXPECT_EQ(Status(chip) & 0x02, 0) << "write disable clears the latch";
}

TEST_P(PagePartTest, ProgrammingOnlyClearsBits) {
  WriteEnable(chip);
  PageProgram(chip, 0x40, {0xF0, 0x00, 0xAA});
  WaitIdle(chip, 100, 1);
  WriteEnable(chip);
  PageProgram(chip, 0x40, {0x0F, 0xFF, 0x55});
  WaitIdle(chip, 100, 1);
  EXPECT_EQ(Bytes(chip, 0x40, 3), (std::vector<uint8_t>{0x00, 0x00, 0x00}));
}

TEST_P(PagePartTest, StatusReadsWhileBusyAndOtherInstructionsAreIgnored) {
  WriteEnable(chip);
  PageProgram(chip, 0x10, {0x00});
  ASSERT_TRUE(WaitIdle(chip, 100, 1));
  WriteEnable(chip);
  Command(chip, {0x20, 0x00, 0x10, 0x00});
  EXPECT_EQ(Status(chip) & 0x03, 0x03) << "busy, latch still set while the erase runs";
  WriteEnable(chip);
  PageProgram(chip, 0x20, {0x00});
  EXPECT_EQ(Read(chip, 0x10, 1)[0], 0xFF) << "a read while busy gets no data";
  ASSERT_TRUE(WaitIdle(chip));
  EXPECT_EQ(Status(chip) & 0x02, 0);
  EXPECT_EQ(Read(chip, 0x10, 1)[0], 0x00);
  EXPECT_EQ(chip.Flash().Contents()[0x20], 0xFF) << "the program sent during the erase was dropped";
}

TEST_P(PagePartTest, IdentifiesItself) {
  const auto part = *FindFlashPart(GetParam());
  const auto id = Query(chip, {0x9F}, 3);
  EXPECT_EQ(id, std::vector<uint8_t>(part.jedecId.begin(), part.jedecId.end()));
}

TEST_P(PagePartTest, ProtectBitsShieldTheTopOfTheArray) {
  const uint32_t size = chip.Flash().Part().sizeBytes;
  WriteEnable(chip);
  Command(chip, {0x01, 0x04}); // BP0: the top 64 KB block
  WaitIdle(chip);
  const uint32_t top = size - 0x1000;
  WriteEnable(chip);
  PageProgram(chip, top, {0x12});
  WaitIdle(chip);
  EXPECT_EQ(Status(chip) & 0x02, 0) << "the refused program still used up the latch";
  EXPECT_EQ(chip.Flash().Contents()[top], 0xFF);
  WriteEnable(chip);
  PageProgram(chip, 0, {0x12});
  WaitIdle(chip);
  EXPECT_EQ(chip.Flash().Contents()[0], 0x12);
  WriteEnable(chip);
  Command(chip, {0xC7});
  WaitIdle(chip);
  EXPECT_EQ(chip.Flash().Contents()[0], 0x12) << "chip erase refused while a block is protected";

  WriteEnable(chip);
  Command(chip, {0x01, 0xFF});
  WaitIdle(chip);
  const uint8_t protectedStatus = Status(chip);
  EXPECT_EQ(protectedStatus, chip.Flash().Part().statusWritableMask);
  WriteEnable(chip);
  Command(chip, {0x20, 0, 0, 0});
  WaitIdle(chip);
  EXPECT_EQ(chip.Flash().Contents()[0], 0x12) << "everything protected";

  WriteEnable(chip);
  Command(chip, {0x01, 0x00});
  WaitIdle(chip);
  EXPECT_EQ(Status(chip), 0x00);
  WriteEnable(chip);
  Command(chip, {0xC7});
  ASSERT_TRUE(WaitIdle(chip));
  EXPECT_EQ(chip.Flash().Contents()[0], 0xFF);
}

INSTANTIATE_TEST_SUITE_P(Parts, PagePartTest, ::testing::Values("C22012", "C22011", "EF4012"));

TEST(SerialFlashTimingTest, BusyBitHoldsForTheTypicalTimes) {
  VirtualClock clock;
  SimConfig config = ConfigFor("C22012");
  config.transferCostUs = 0;
  ChipSimulator chip(clock, config);
  EnterIsp(chip);

  WriteEnable(chip);
  PageProgram(chip, 0, Pattern(256, 1));
  clock.AdvanceUs(1300);
  EXPECT_TRUE(chip.Flash().Busy());
  clock.AdvanceUs(200);
  EXPECT_FALSE(chip.Flash().Busy()) << "page program about 1.4 ms";

  WriteEnable(chip);
  Command(chip, {0x20, 0, 0x10, 0});
  clock.AdvanceUs(59'000);
  EXPECT_TRUE(chip.Flash().Busy());
  clock.AdvanceUs(2'000);
  EXPECT_FALSE(chip.Flash().Busy()) << "sector erase about 60 ms";

  WriteEnable(chip);
  Command(chip, {0xC7});
  clock.AdvanceUs(999'000);
  EXPECT_EQ(Status(chip) & 0x01, 0x01);
  clock.AdvanceUs(1'000'000);
  EXPECT_EQ(Status(chip) & 0x01, 0x00) << "chip erase between one and two seconds";

  WriteEnable(chip);
  Command(chip, {0x01, 0x00});
  EXPECT_TRUE(chip.Flash().Busy());
  clock.AdvanceUs(6'000);
  EXPECT_FALSE(chip.Flash().Busy()) << "status write a few ms";
}

TEST(SerialFlashTimingTest, SpeedFactorShortensDeviceTimes) {
  VirtualClock clock;
  SimConfig config = ConfigFor("C22012");
  config.transferCostUs = 0;
  config.speed = 100;
  ChipSimulator chip(clock, config);
  EnterIsp(chip);
  WriteEnable(chip);
  Command(chip, {0xC7});
  clock.AdvanceUs(17'000);
  EXPECT_TRUE(chip.Flash().Busy());
  clock.AdvanceUs(2'000);
  EXPECT_FALSE(chip.Flash().Busy());
}

TEST(PageWrapTest, DataPastThePageEndWrapsToItsStart) {
  VirtualClock clock;
  ChipSimulator chip(clock, ConfigFor("C22012"));
  EnterIsp(chip);
  const auto data = Pattern(16, 0x40);
  WriteEnable(chip);
  PageProgram(chip, 0x1F8, data);
  WaitIdle(chip, 100, 1);
  EXPECT_EQ(Bytes(chip, 0x1F8, 8), std::vector<uint8_t>(data.begin(), data.begin() + 8));
  EXPECT_EQ(Bytes(chip, 0x100, 8), std::vector<uint8_t>(data.begin() + 8, data.end()));
  EXPECT_TRUE(AllErased(chip, 0x200, 8)) << "nothing spills into the next page";
}

TEST(PageWrapTest, ThirtyTwoBytePartKeepsOnlyTheLastChunkOfALongPage) {
  VirtualClock clock;
  ChipSimulator chip(clock, ConfigFor("C22011"));
  EnterIsp(chip);
  const auto page = Pattern(256, 0x01);
  WriteEnable(chip);
  PageProgram(chip, 0x000, page);
  WaitIdle(chip, 100, 1);
  EXPECT_EQ(Bytes(chip, 0, 32), std::vector<uint8_t>(page.begin() + 224, page.end()));
  EXPECT_TRUE(AllErased(chip, 32, 224)) << "a 256-byte page on this part corrupts instead of programming";

  for (uint32_t a = 0x100; a < 0x200; a += 32) {
    WriteEnable(chip);
    PageProgram(chip, a, std::vector<uint8_t>(page.begin() + (a - 0x100), page.begin() + (a - 0x100) + 32));
    WaitIdle(chip, 100, 1);
  }
  EXPECT_EQ(Bytes(chip, 0x100, 256), page) << "32-byte chunks program correctly";
}

TEST(PageWrapTest, AddressesBeyondTheSmallPartWrapAround) {
  VirtualClock clock;
  ChipSimulator chip(clock, ConfigFor("C22011"));
  EnterIsp(chip);
  WriteEnable(chip);
  PageProgram(chip, 0x20010, {0x5A});
  WaitIdle(chip, 100, 1);
  EXPECT_EQ(chip.Flash().Contents()[0x10], 0x5A);
  EXPECT_EQ(Read(chip, 0x20010, 1)[0], 0x5A);
  EXPECT_EQ(Read(chip, 0x1FFFF, 18)[17], 0x5A) << "a read runs on from the last byte to the first";
}

class SstPartTest : public ::testing::Test {
protected:
  VirtualClock clock;
  ChipSimulator chip{clock, ConfigFor("BF258C")};
  void SetUp() override { ASSERT_TRUE(EnterIsp(chip)); }
  void Unprotect() {
    WriteEnable(chip);
    Command(chip, {0x01, 0x00});
    ASSERT_TRUE(WaitIdle(chip));
  }
  void WordProgram(uint32_t address, const std::vector<uint8_t> &data) {
    Command(chip, {0xAD, static_cast<uint8_t>(address >> 16), static_cast<uint8_t>(address >> 8),
                   static_cast<uint8_t>(address), data[0], data[1]});
    for (size_t i = 2; i + 1 < data.size(); i += 2)
      Command(chip, {0xAD, data[i], data[i + 1]});
  }
};

TEST_F(SstPartTest, PowersUpProtected) {
  EXPECT_EQ(Status(chip), 0x0C);
  WriteEnable(chip);
  PageProgram(chip, 0, {0x00});
  EXPECT_EQ(chip.Flash().Contents()[0], 0xFF);
  Unprotect();
  EXPECT_EQ(Status(chip), 0x00);
}

TEST_F(SstPartTest, WordProgramRunsUntilWriteDisable) {
  Unprotect();
  const auto data = Pattern(32, 0x30);
  WriteEnable(chip);
  WordProgram(0x1000, data);
  EXPECT_EQ(Status(chip) & 0xC2, 0x42) << "auto-address-increment mode keeps the latch";
  EXPECT_EQ(Read(chip, 0x1000, 4), std::vector<uint8_t>(4, 0xFF)) << "no reads during the sequence";
  WriteDisable(chip);
  EXPECT_EQ(Status(chip), 0x00);
  EXPECT_EQ(Bytes(chip, 0x1000, 32), data);

  Command(chip, {0xAD, 0x00, 0x20, 0x00, 0x11, 0x22});
  EXPECT_TRUE(AllErased(chip, 0x2000, 2)) << "word program without write enable";
}

TEST_F(SstPartTest, ByteProgramTakesOneByte) {
  Unprotect();
  WriteEnable(chip);
  PageProgram(chip, 0x300, {0x11, 0x22, 0x33, 0x44});
  WaitIdle(chip, 10, 1);
  EXPECT_EQ(Bytes(chip, 0x300, 4), (std::vector<uint8_t>{0x11, 0xFF, 0xFF, 0xFF}));
}

TEST_F(SstPartTest, ProtectValueSetsBlockProtectButNotTheLock) {
  Unprotect();
  WriteEnable(chip);
  Command(chip, {0x01, 0x7F});
  ASSERT_TRUE(WaitIdle(chip));
  EXPECT_EQ(Status(chip), 0x0C);
  WriteEnable(chip);
  Command(chip, {0xC7});
  EXPECT_EQ(Status(chip) & 0x01, 0) << "chip erase refused while protected";
}

TEST_F(SstPartTest, EraseTimesAreShort) {
  Unprotect();
  WriteEnable(chip);
  Command(chip, {0xC7});
  EXPECT_TRUE(chip.Flash().Busy());
  clock.AdvanceUs(36'000);
  EXPECT_FALSE(chip.Flash().Busy()) << "chip erase about 35 ms";
}

TEST(StatusLockTest, LockBitHoldsOnlyWithTheWriteProtectPinLow) {
  VirtualClock clock;
  ChipSimulator chip(clock, ConfigFor("C22012"));
  EnterIsp(chip);
  WriteEnable(chip);
  Command(chip, {0x01, 0x8C});
  WaitIdle(chip);
  chip.Flash().SetWriteProtectPinLow(true);
  WriteEnable(chip);
  Command(chip, {0x01, 0x00});
  WaitIdle(chip);
  EXPECT_EQ(Status(chip), 0x8C);
  chip.Flash().SetWriteProtectPinLow(false);
  WriteEnable(chip);
  Command(chip, {0x01, 0x00});
  WaitIdle(chip);
  EXPECT_EQ(Status(chip), 0x00);
}

} // namespace
} // namespace orvane::sim
