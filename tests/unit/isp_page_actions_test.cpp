#include "isp/IspPageActions.h"
#include "sequence_rig.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace orvane {
namespace {

TEST(IspPageActionsTest, ChipIdentifierBytesEachEndInACommaAndTwoBlanks) {
  EXPECT_EQ(ChipIdText({0xC2, 0x20, 0x15}), "0xC2,  0x20,  0x15,  ");
  EXPECT_EQ(ChipIdText({0x00, 0x0A, 0xFF}), "0x00,  0x0A,  0xFF,  ");
}

TEST(IspPageActionsTest, StepButtonsWorkOnTheImageFromTheRangeStart) {
  FlashState flash;
  ImageRecord image;
  image.ImageLength = 1000;
  flash.RangeStart = 0x10000;
  const IspSpan all = ButtonSpan(false, flash, image);
  EXPECT_EQ(all.start, 0u);
  EXPECT_EQ(all.end, 1000u);
  EXPECT_EQ(all.imageBase, 0u);
  const IspSpan assigned = ButtonSpan(true, flash, image);
  EXPECT_EQ(assigned.start, 0x10000u);
  EXPECT_EQ(assigned.end, 0x10000u + 1000u);
  EXPECT_EQ(assigned.imageBase, 0x10000u);
}

// The Program button before any sequence has chosen how to program.
struct ProgramButtonRig : test::SequenceRig {
  explicit ProgramButtonRig(const char *part) : SequenceRig(part) {
    EXPECT_TRUE(usb.Open());
    EXPECT_TRUE(commands.SetIspMode(true));
    LoadImage(test::ImageBytes(1000));
    transport.ClearTransfers();
  }
  bool Click() { return RunIspStep(IspStep::Program, commands, image, flash, view, {0, 1000, 0}); }
};

TEST(IspProgramButtonTest, AsksThePartHowToProgramItFirst) {
  ProgramButtonRig rig("C22011");
  EXPECT_TRUE(rig.Click());
  EXPECT_EQ(rig.flash.ProgramChunkSize, 32);
  const auto lengths = rig.PageProgramLengths();
  EXPECT_EQ(lengths.size(), 32u); // 1000 bytes in 32-byte chunks
  EXPECT_TRUE(std::all_of(lengths.begin(), lengths.end(), [](size_t n) { return n == 32; }));
  EXPECT_EQ(rig.view.info.texts, (std::vector<std::string>{"Start Programming...", "Programming Success"}));
  EXPECT_TRUE(std::equal(rig.image.ImageBuffer.begin(), rig.image.ImageBuffer.begin() + 1000,
                         rig.chip.Flash().Contents().begin()));
  EXPECT_FALSE(rig.usb.HasHandle());
}

TEST(IspProgramButtonTest, KeepsTheChoiceOfASequence) {
  ProgramButtonRig rig("C22012");
  rig.flash.ProgramChunkSize = 32;
  EXPECT_TRUE(rig.Click());
  EXPECT_EQ(rig.flash.ProgramChunkSize, 32);
  for (const auto &t : rig.transport.Transfers())
    EXPECT_NE(t.out, std::vector<uint8_t>{flashop::kReadId}) << "no identifier read";
}

TEST(IspProgramButtonTest, APartThatDoesNotSayWhatItIsIsNotProgrammedOnAGuess) {
  ProgramButtonRig rig("BF258C");
  rig.flash.FlashId = {0xC2, 0x20, 0x12}; // an earlier part's identifier
  rig.chip.Faults().StallEvery(vendor::kFlashFetch);
  EXPECT_FALSE(rig.Click());
  EXPECT_EQ(rig.flash.ProgramChunkSize, 0);
  EXPECT_TRUE(rig.FlashWrites().empty());
  EXPECT_EQ(rig.view.info.texts, std::vector<std::string>{"Start Programming..."});

  // Once it answers, the next click asks again and chooses word programming.
  rig.chip.Faults().Clear();
  EXPECT_TRUE(rig.usb.Open());
  FlashWorkers(rig.commands, rig.image, rig.flash, rig.view).ClearStatusRegister();
  EXPECT_TRUE(rig.Click());
  EXPECT_TRUE(rig.flash.WordProgramMode);
  EXPECT_EQ(rig.flash.ProgramChunkSize, 256);
}

} // namespace
} // namespace orvane
