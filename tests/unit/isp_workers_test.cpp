#include "isp/FlashParts.h"
#include "isp/FlashTimeLimits.h"
#include "isp/FlashWorkers.h"
#include "sequence_rig.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace orvane::test {
namespace {

// A simulated chip in ISP mode with its handle open, and the workers on it.
struct WorkerRig : SequenceRig {
  explicit WorkerRig(const char *part, std::vector<uint8_t> initialFlash = {})
      : SequenceRig(part, std::move(initialFlash)) {
    EXPECT_TRUE(usb.Open());
    EXPECT_TRUE(commands.SetIspMode(true));
    transport.ClearTransfers();
  }

  // Identifies the part and lifts the protection some parts power up with,
  // as the sequences do before they program.
  void PrepareToProgram() {
    static_cast<void>(workers.IdentifyFlash()); // each test checks the outcome it relies on
    workers.ClearStatusRegister();
    transport.ClearTransfers();
  }

  // Addresses of the 64-byte reads, in order.
  std::vector<uint32_t> Reads() const {
    std::vector<uint32_t> addresses;
    for (const auto &t : transport.Transfers())
      if (t.setup.request == vendor::kFlashQuery && t.out.size() == 4 && t.out[0] == flashop::kRead)
        addresses.push_back(AddressOf(t.out));
    return addresses;
  }
  // Addresses of the page programs and of the first word of each word program.
  std::vector<uint32_t> ProgramHeads() const {
    std::vector<uint32_t> addresses;
    for (const auto &write : FlashWrites())
      if ((write.size() == 4 && write[0] == flashop::kPageProgram) ||
          (write.size() == 6 && write[0] == flashop::kWordProgram))
        addresses.push_back(AddressOf(write));
    return addresses;
  }
  long StatusQueries() const {
    return std::count_if(transport.Transfers().begin(), transport.Transfers().end(), [](const RecordedTransfer &t) {
      return t.setup.request == vendor::kFlashQuery && t.out == std::vector<uint8_t>{flashop::kReadStatus};
    });
  }
  bool FlashHolds(uint32_t from, const std::vector<uint8_t> &bytes) {
    const auto &contents = chip.Flash().Contents();
    return std::equal(bytes.begin(), bytes.end(), contents.begin() + from);
  }

  static uint32_t AddressOf(const std::vector<uint8_t> &instruction) {
    return uint32_t{instruction[1]} << 16 | uint32_t{instruction[2]} << 8 | instruction[3];
  }

  FlashWorkers workers{commands, image, flash, view};
};

// An image with one 256-byte stretch of erased bytes, which no part's
// chunks should be sent for.
std::vector<uint8_t> ImageWithErasedStretch(size_t count) {
  auto bytes = ImageBytes(count);
  std::fill(bytes.begin() + 0x200, bytes.begin() + 0x300, uint8_t{0xFF});
  return bytes;
}

class WorkersOnEachPartTest : public ::testing::TestWithParam<const char *> {};

TEST_P(WorkersOnEachPartTest, AnErasedPartBlankChecksBlockByBlock) {
  WorkerRig rig(GetParam());
  const uint32_t size = rig.chip.Config().flashPart.sizeBytes;

  EXPECT_TRUE(rig.workers.BlankCheckRange(0, size));
  const auto reads = rig.Reads();
  ASSERT_EQ(reads.size(), size / 64);
  EXPECT_EQ(reads[1], 64u);
  EXPECT_EQ(reads.back(), size - 64);
  EXPECT_TRUE(rig.view.info.texts.empty()) << "success is the caller's to show";
}

TEST_P(WorkersOnEachPartTest, AnImageProgramsInThePartsModeAndVerifies) {
  WorkerRig rig(GetParam());
  const auto image = ImageWithErasedStretch(5000); // not a whole number of chunks
  rig.LoadImage(image);
  rig.PrepareToProgram();

  ASSERT_TRUE(rig.workers.ProgramRange(0, 5000, 0));
  EXPECT_TRUE(rig.FlashHolds(0, image));
  EXPECT_TRUE(rig.workers.VerifyRange(0, 5000, 0));

  const auto &id = rig.chip.Config().flashPart.jedecId;
  const FlashPart &row = FlashPartFor(id);
  const bool word = row.mode == ProgramMode::Word;
  const size_t chunk = row.chunkBytes;
  const auto heads = rig.ProgramHeads();
  EXPECT_EQ(heads.size(), (5000 + chunk - 1) / chunk - 256 / chunk) << "the erased stretch is skipped";
  EXPECT_TRUE(std::none_of(heads.begin(), heads.end(), [](uint32_t a) { return a >= 0x200 && a < 0x300; }));
  EXPECT_TRUE(std::all_of(heads.begin(), heads.end(), [&](uint32_t a) { return a % chunk == 0; }));
  if (word) {
    EXPECT_TRUE(rig.PageProgramLengths().empty());
  } else {
    const auto lengths = rig.PageProgramLengths();
    EXPECT_TRUE(std::all_of(lengths.begin(), lengths.end(), [&](size_t n) { return n == chunk; }));
  }
}

TEST_P(WorkersOnEachPartTest, AnEmptyImageReadsAndProgramsNothingAndPasses) {
  WorkerRig rig(GetParam());
  rig.LoadImage({});
  rig.PrepareToProgram();
  EXPECT_TRUE(rig.workers.BlankCheckRange(0, 0));
  EXPECT_TRUE(rig.workers.ProgramRange(0, 0, 0));
  EXPECT_TRUE(rig.workers.VerifyRange(0, 0, 0));
  EXPECT_TRUE(rig.Reads().empty());
  EXPECT_TRUE(rig.ProgramHeads().empty());
}

TEST_P(WorkersOnEachPartTest, AnImageAtTheRangeStartIsProgrammedAndVerifiedThere) {
  WorkerRig rig(GetParam());
  const auto image = ImageBytes(1000);
  rig.LoadImage(image);
  rig.PrepareToProgram();

  ASSERT_TRUE(rig.workers.ProgramRange(0x10000, 0x10000 + 1000, 0x10000));
  // The chunk at the range's start goes last.
  const auto heads = rig.ProgramHeads();
  ASSERT_FALSE(heads.empty());
  EXPECT_EQ(heads.back(), 0x10000u);
  EXPECT_EQ(*std::min_element(heads.begin(), heads.end()), 0x10000u);
  EXPECT_TRUE(rig.FlashHolds(0x10000, image));
  const auto &contents = rig.chip.Flash().Contents();
  EXPECT_TRUE(std::all_of(contents.begin(), contents.begin() + 0x10000, [](uint8_t b) { return b == 0xFF; }));
  EXPECT_TRUE(rig.workers.VerifyRange(0x10000, 0x10000 + 1000, 0x10000));
  EXPECT_EQ(rig.Reads().front(), 0x10000u);
  EXPECT_FALSE(rig.workers.VerifyRange(0, 1000, 0)) << "the image is not at address 0";
}

INSTANTIATE_TEST_SUITE_P(Parts, WorkersOnEachPartTest, ::testing::ValuesIn(kFlashParts));

// The block walk of the blank check and the verify.
class BlockWalkTest : public ::testing::Test {
protected:
  // A 100-byte image programmed, and bytes behind it that differ from the
  // image buffer: the walk must not look at them.
  void SetUp() override {
    rig.LoadImage(ImageBytes(100));
    rig.PrepareToProgram();
    ASSERT_TRUE(rig.workers.ProgramRange(0, 100, 0));
    const std::vector<uint8_t> behind(28, 0x00);
    rig.chip.Flash().Load(100, behind.data(), behind.size());
    rig.transport.ClearTransfers();
  }

  WorkerRig rig{"C22012"};
};

TEST_F(BlockWalkTest, AHundredByteImageIsTwoBlocksAndTheSecondIsCutAtTheEnd) {
  EXPECT_TRUE(rig.workers.VerifyRange(0, 100, 0));
  EXPECT_EQ(rig.Reads(), (std::vector<uint32_t>{0, 64}));
  EXPECT_FALSE(rig.workers.BlankCheckRange(0, 100));
  EXPECT_EQ(rig.view.info.texts.back(), "Blanking Fail at 0x000000");
}

TEST_F(BlockWalkTest, ADifferenceAtOffsetFiveOnThreeReadsFailsAtThatByte) {
  rig.chip.Flash().Faults().FlipOnRead(64 + 5, 0x10, true);
  EXPECT_FALSE(rig.workers.VerifyRange(0, 100, 0));
  EXPECT_EQ(rig.view.info.texts.back(), "Verifying Fail at 0x000045");
  EXPECT_EQ(rig.Reads(), (std::vector<uint32_t>{0, 64, 64, 64}));
}

TEST_F(BlockWalkTest, ABlockThatReadsRightOnTheThirdAttemptPasses) {
  rig.chip.Flash().Faults().FlipOnRead(64 + 5, 0x10, false);
  int compared = 0;
  rig.view.onMessages = [&] {
    if (++compared == 2) // after the first read of the second block: once more
      rig.chip.Flash().Faults().FlipOnRead(64 + 5, 0x10, false);
  };
  EXPECT_TRUE(rig.workers.VerifyRange(0, 100, 0));
  EXPECT_EQ(rig.Reads(), (std::vector<uint32_t>{0, 64, 64, 64}));
  EXPECT_TRUE(rig.view.info.texts.empty());
}

TEST_F(BlockWalkTest, AnErasedBlockThatReadsWrongThreeTimesFailsTheBlankCheckAtThatByte) {
  rig.chip.Flash().Erase();
  rig.chip.Flash().Faults().FlipOnRead(64 + 5, 0x01, true);
  EXPECT_FALSE(rig.workers.BlankCheckRange(0, 100));
  EXPECT_EQ(rig.view.info.texts.back(), "Blanking Fail at 0x000045");
}

TEST(BlockWalkReadTest, ThreeFailedReadsOfABlockFailAtItsAddress) {
  WorkerRig rig("EF4012");
  rig.LoadImage(ImageBytes(8192));
  rig.PrepareToProgram();
  ASSERT_TRUE(rig.workers.ProgramRange(0, 8192, 0));
  rig.transport.ClearTransfers();
  // The chip refuses every read of the block at 4096.
  rig.transport.SetScriptHook([](const std::string &, const SetupPacket &s, uint8_t *data) {
    const bool read4096 = s.request == vendor::kFlashQuery && s.length == 4 && data[0] == flashop::kRead &&
                          data[1] == 0x00 && data[2] == 0x10 && data[3] == 0x00;
    return read4096 ? std::optional<TransferResult>(TransferResult{TransferStatus::Stalled, 0}) : std::nullopt;
  });

  EXPECT_FALSE(rig.workers.VerifyRange(0, 8192, 0));
  EXPECT_EQ(rig.view.info.texts.back(), "Verifying Fail at 0x001000");
  const auto reads = rig.Reads();
  EXPECT_EQ(std::count(reads.begin(), reads.end(), 4096u), 3);
  EXPECT_EQ(reads.back(), 4096u) << "the walk stops there";
}

TEST(ProgramWaitTest, AFlashThatStaysBusyProgramsNothingInPageOrWordMode) {
  for (const char *part : {"C22012", "BF258C"}) {
    WorkerRig rig(part);
    rig.LoadImage(ImageBytes(512));
    rig.PrepareToProgram();
    rig.chip.Flash().Faults().HangNextOperation();
    EXPECT_TRUE(rig.commands.FlashWriteEnable());
    EXPECT_TRUE(rig.commands.FlashChipErase());
    rig.transport.ClearTransfers();

    EXPECT_FALSE(rig.workers.ProgramRange(0, 512, 0)) << part;
    EXPECT_TRUE(rig.ProgramHeads().empty()) << part;
    // Page mode waits before its first chunk, word mode once before the walk.
    EXPECT_EQ(rig.StatusQueries(), 101) << part;
  }
}

TEST(ProgramChunkTest, NoChunkSizeChosenProgramsNothing) {
  WorkerRig rig("C22012");
  rig.LoadImage(ImageBytes(512));
  rig.flash.ProgramChunkSize = 0;
  EXPECT_FALSE(rig.workers.ProgramRange(0, 512, 0));
  EXPECT_TRUE(rig.transport.Transfers().empty());
}

} // namespace
} // namespace orvane::test

namespace orvane::test {
namespace {

TEST(ProgramWalkTest, APageWriteTheChipRefusedFailsTheWalkAfterTheSameWrites) {
  WorkerRig rig("EF4012");
  rig.LoadImage(ImageBytes(1024));
  rig.PrepareToProgram();
  // The chip refuses the page program instruction for 0x000200.
  rig.transport.SetScriptHook([](const std::string &, const SetupPacket &s, uint8_t *data) {
    const bool page200 = s.request == vendor::kFlashWrite && s.length == 4 && data[0] == flashop::kPageProgram &&
                         data[1] == 0x00 && data[2] == 0x02 && data[3] == 0x00;
    return page200 ? std::optional<TransferResult>(TransferResult{TransferStatus::Stalled, 0}) : std::nullopt;
  });

  EXPECT_FALSE(rig.workers.ProgramRange(0, 1024, 0)) << "a lost write is not a programmed page";
  EXPECT_EQ(rig.ProgramHeads(), (std::vector<uint32_t>{0x100, 0x200, 0x300, 0x000})) << "the walk went on";
}

// The chip starts the firmware at the start of its flash: that chunk is
// written last, so a walk cut short at any chunk leaves the start erased.
TEST(ProgramWalkTest, TheChunkAtTheStartIsWrittenLastAndAWalkCutShortLeavesTheStartErased) {
  for (const char *part : {"C22011", "EF4012", "BF258C"}) {
    SCOPED_TRACE(part);
    WorkerRig rig(part);
    rig.LoadImage(ImageBytes(4096));
    rig.PrepareToProgram();
    ASSERT_TRUE(rig.workers.ProgramRange(0, 4096, 0));
    const auto heads = rig.ProgramHeads();
    ASSERT_FALSE(heads.empty());
    EXPECT_EQ(heads.back(), 0u);
    EXPECT_TRUE(std::is_sorted(heads.begin(), heads.end() - 1)) << "the rest goes upwards";
    EXPECT_TRUE(rig.workers.StartWritten());

    // The same walk, the device gone before its last chunk.
    WorkerRig cut(part);
    cut.LoadImage(ImageBytes(4096));
    cut.PrepareToProgram();
    uint64_t programs = 0;
    const uint64_t chunks = heads.size();
    cut.transport.SetScriptHook([&](const std::string &, const SetupPacket &s, uint8_t *data) {
      const bool head =
          s.request == vendor::kFlashWrite && !s.isIn() && s.length >= 1 &&
          ((s.index == 0 && data[0] == flashop::kPageProgram) || (s.length == 6 && data[0] == flashop::kWordProgram));
      if (head && ++programs == chunks)
        return std::optional<TransferResult>(TransferResult{TransferStatus::Gone, 0});
      return std::optional<TransferResult>();
    });
    EXPECT_FALSE(cut.workers.ProgramRange(0, 4096, 0));
    const auto &contents = cut.chip.Flash().Contents();
    EXPECT_TRUE(std::all_of(contents.begin(), contents.begin() + 16, [](uint8_t b) { return b == 0xFF; }))
        << "the chip would start a partial image";
  }
}

// The update's deadline ends the walk and the wait it falls in.
TEST(DeadlineTest, AVerifyThatReachesTheDeadlineStopsBeforeTheNextBlock) {
  WorkerRig rig("C22012");
  rig.LoadImage(ImageBytes(0x4000));
  rig.PrepareToProgram();
  ASSERT_TRUE(rig.workers.ProgramRange(0, 0x4000, 0));
  rig.transport.ClearTransfers();
  rig.flash.DeadlineUs = rig.clock.NowUs() + 1'000'000;
  rig.view.onMessages = [&] { rig.clock.AdvanceUs(100'000); }; // each block takes 100 ms

  EXPECT_FALSE(rig.workers.VerifyRange(0, 0x4000, 0)) << "a verify cut short is no verify";
  EXPECT_EQ(rig.Reads().size(), 10u);
}

TEST(DeadlineTest, AnEraseThatNeverEndsIsWaitedForUntilTheDeadlineOnly) {
  WorkerRig rig("C22012");
  rig.PrepareToProgram();
  rig.chip.Flash().Faults().HangNextOperation();
  ASSERT_TRUE(rig.commands.FlashWriteEnable());
  ASSERT_TRUE(rig.commands.FlashChipErase());
  rig.flash.DeadlineUs = rig.clock.NowUs() + 2'000'000;

  EXPECT_EQ(rig.workers.WaitForEraseEnd([](int, uint8_t) {}), FlashWorkers::EraseEnd::Halted);
  EXPECT_LE(rig.clock.NowUs(), rig.flash.DeadlineUs + 20'000) << "the last poll before it, and no more";
}

// A wait ends by its time limit as well as by its count of reads.
TEST(StatusWaitTest, AStatusWriteThatNeverEndsIsWaitedForItsLimitHoweverSlowTheDevice) {
  WorkerRig rig("C22012");
  rig.PrepareToProgram();
  rig.chip.Flash().Faults().HangNextOperation();
  rig.chip.Faults().Add({sim::FaultAction::Delay, std::nullopt, std::nullopt, 0, 200}); // every answer 200 ms late
  const uint64_t started = rig.clock.NowUs();

  EXPECT_FALSE(rig.workers.ProtectFlash()) << "a status write still running shows no status";
  // The part's status write takes 40 ms at most: its limit is under a
  // second, and the poll that passed it ends the wait.
  EXPECT_GE(rig.clock.NowUs() - started, uint64_t{TimeLimitsFor(rig.flash.FlashId).statusWriteMs} * 1000);
  EXPECT_LE(rig.clock.NowUs() - started, 2'000'000u);
}

} // namespace
} // namespace orvane::test
