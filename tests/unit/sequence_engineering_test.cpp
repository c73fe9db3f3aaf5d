#include "isp/EngineeringSequence.h"
#include "sequence_rig.h"

#include <gtest/gtest.h>

namespace orvane::test {
namespace {

constexpr uint32_t kFlashBytes = 0x20000; // every part holds 128 KB

struct EngineeringRig : SequenceRig {
  // A flash full of older firmware, so every erase and program shows.
  explicit EngineeringRig(const char *part) : SequenceRig(part, ImageBytes(kFlashBytes, 0x77)) {}

  SequenceEnd Run() { return EngineeringSequence(commands, image, flash, view).Run(steps); }
  bool FlashHolds(uint32_t from, const std::vector<uint8_t> &bytes) {
    const auto &contents = chip.Flash().Contents();
    return std::equal(bytes.begin(), bytes.end(), contents.begin() + from);
  }
  bool FlashErased(uint32_t from, uint32_t to) {
    const auto &contents = chip.Flash().Contents();
    return std::all_of(contents.begin() + from, contents.begin() + to, [](uint8_t b) { return b == 0xFF; });
  }

  EngineeringSteps steps;
};

class EngineeringSequenceTest : public ::testing::TestWithParam<const char *> {};

TEST_P(EngineeringSequenceTest, AnAssignedRangeErasesItsSectorsAndProgramsFromItsStart) {
  EngineeringRig rig(GetParam());
  const auto old = rig.chip.Flash().Contents();
  const auto image = ImageBytes(1000);
  rig.LoadImage(image);
  rig.steps.assignedRange = true;
  rig.flash.RangeStart = 64 * 1024;
  rig.flash.RangeSize = 32 * 1024;

  EXPECT_EQ(rig.Run(), SequenceEnd::Finished);
  EXPECT_EQ(rig.SectorErases(),
            (std::vector<uint32_t>{0x10000, 0x11000, 0x12000, 0x13000, 0x14000, 0x15000, 0x16000, 0x17000}));
  EXPECT_EQ(rig.chip.Flash().Activity().chipErases, 0u);
  EXPECT_TRUE(rig.FlashHolds(0x10000, image));
  EXPECT_TRUE(rig.FlashErased(0x10000 + 1000, 0x18000));
  EXPECT_TRUE(std::equal(old.begin(), old.begin() + 0x10000, rig.chip.Flash().Contents().begin())) << "below";
  EXPECT_TRUE(std::equal(old.begin() + 0x18000, old.end(), rig.chip.Flash().Contents().begin() + 0x18000)) << "above";
  EXPECT_EQ(rig.view.info.texts.back(), "Verifying Success");
  EXPECT_FALSE(rig.flash.IspFailed);
  EXPECT_FALSE(rig.chip.InIspMode());
  EXPECT_EQ(rig.StatusWrites(), (std::vector<uint8_t>{0x00})) << "not protected unless asked";
}

TEST_P(EngineeringSequenceTest, AllErasesTheChipAndProgramsFromZeroWithProtectionWhenAsked) {
  EngineeringRig rig(GetParam());
  const auto image = ImageBytes(0x3000);
  rig.LoadImage(image);
  rig.steps.protect = true;

  EXPECT_EQ(rig.Run(), SequenceEnd::Finished);
  EXPECT_EQ(rig.chip.Flash().Activity().chipErases, 1u);
  EXPECT_TRUE(rig.FlashHolds(0, image));
  EXPECT_TRUE(rig.FlashErased(0x3000, kFlashBytes));
  EXPECT_EQ(rig.KeptStatus(), rig.ProtectedStatus());
}

TEST_P(EngineeringSequenceTest, AStopBeforeTheProgramStepStillProtectsAndLeavesIspMode) {
  EngineeringRig rig(GetParam());
  rig.LoadImage(ImageBytes(0x1000));
  rig.steps.protect = true;
  rig.view.info.onText = [&](const std::string &text) {
    if (text == "Blanking Success")
      rig.flash.StopRequested = true; // the click lands while the blank check runs
  };

  EXPECT_EQ(rig.Run(), SequenceEnd::Stopped);
  EXPECT_FALSE(rig.view.info.Contains("Start Programming"));
  EXPECT_FALSE(rig.view.info.Contains("Start Verifying Check"));
  EXPECT_TRUE(rig.PageProgramLengths().empty());
  EXPECT_TRUE(rig.FlashErased(0, kFlashBytes));
  EXPECT_EQ(rig.KeptStatus(), rig.ProtectedStatus());
  EXPECT_FALSE(rig.chip.InIspMode());
  EXPECT_EQ(rig.view.info.texts.back(), "Stopped");
  EXPECT_FALSE(rig.flash.StopRequested) << "the request is used up";
  EXPECT_FALSE(rig.usb.HasHandle());
}

INSTANTIATE_TEST_SUITE_P(Parts, EngineeringSequenceTest, ::testing::ValuesIn(kFlashParts));

TEST(EngineeringStepsTest, AStopRightAfterEnteringIspModeLeavesTheFlashAsItWas) {
  EngineeringRig rig("C22012");
  const auto old = rig.chip.Flash().Contents();
  rig.LoadImage(ImageBytes(0x1000));
  rig.view.onMessages = [&] { rig.flash.StopRequested = true; };

  EXPECT_EQ(rig.Run(), SequenceEnd::Stopped);
  EXPECT_EQ(rig.chip.Flash().Contents(), old);
  EXPECT_EQ(rig.chip.Flash().Activity().chipErases, 0u);
  EXPECT_FALSE(rig.chip.InIspMode());
  EXPECT_EQ(rig.view.info.texts, (std::vector<std::string>{"Enter ISP Mode", "Stopped"}));
}

TEST(EngineeringStepsTest, WithoutEraseTheBlankCheckFailsAndTheLaterStepsAreSkipped) {
  EngineeringRig rig("C22012");
  const auto old = rig.chip.Flash().Contents();
  rig.LoadImage(ImageBytes(0x1000));
  rig.steps.erase = false;
  rig.steps.protect = true;

  EXPECT_EQ(rig.Run(), SequenceEnd::Finished);
  EXPECT_TRUE(rig.flash.IspFailed);
  EXPECT_EQ(rig.view.info.texts.back(), "Blanking Fail at 0x000000");
  EXPECT_FALSE(rig.view.info.Contains("Clear Status register"));
  EXPECT_FALSE(rig.view.info.Contains("Start Programming"));
  EXPECT_EQ(rig.chip.Flash().Contents(), old);
  EXPECT_EQ(rig.StatusWrites(), (std::vector<uint8_t>{0xFF})) << "protected even after the failure";
  EXPECT_FALSE(rig.chip.InIspMode());
}

TEST(EngineeringStepsTest, WithoutIspModeTheChipIsNeitherSwitchedInNorOut) {
  EngineeringRig rig("C22012");
  rig.LoadImage(ImageBytes(0x100));
  rig.steps.ispMode = false;
  rig.Run();
  for (const auto &t : rig.transport.Transfers()) {
    EXPECT_NE(t.setup.request, vendor::kIspEnter);
    EXPECT_NE(t.setup.request, vendor::kIspLeave);
  }
  EXPECT_TRUE(rig.flash.IspFailed) << "the flash channel does not answer outside ISP mode";
}

TEST(EngineeringStepsTest, ASpanBeyondTheFlashAddressSpaceSendsNothing) {
  EngineeringRig rig("C22012");
  rig.LoadImage(ImageBytes(0x100));
  rig.steps.assignedRange = true;
  rig.flash.RangeStart = 0xFFFF00 + 0x80; // the image would wrap to address 0
  rig.flash.RangeSize = 0x1000;
  EngineeringSequence sequence(rig.commands, rig.image, rig.flash, rig.view);
  EXPECT_FALSE(sequence.SpanFits(rig.steps));
  EXPECT_EQ(sequence.Run(rig.steps), SequenceEnd::Finished);
  EXPECT_TRUE(rig.flash.IspFailed);
  EXPECT_TRUE(rig.transport.Transfers().empty());

  rig.flash.RangeStart = 0xFFF000; // the image fits, the erased range does not
  rig.flash.RangeSize = 0x2000;
  EXPECT_FALSE(sequence.SpanFits(rig.steps));
  rig.steps.erase = false;
  EXPECT_TRUE(sequence.SpanFits(rig.steps));
}

TEST(EngineeringStepsTest, ARangePastTheEndOfThePartIsRefusedBeforeAnythingIsErased) {
  for (const bool assigned : {false, true}) {
    EngineeringRig rig("C22011"); // 128 KB by its identifier
    const auto old = rig.chip.Flash().Contents();
    rig.LoadImage(ImageBytes(assigned ? 0x2000 : 0x30000));
    rig.steps.assignedRange = assigned;
    rig.flash.RangeStart = 0x1F000; // the last 4 KB sector; the image would wrap onto address 0
    rig.flash.RangeSize = 0x1000;

    EXPECT_EQ(rig.Run(), SequenceEnd::Finished);
    EXPECT_TRUE(rig.flash.IspFailed);
    EXPECT_EQ(rig.chip.Flash().Contents(), old) << "assigned range " << assigned;
    EXPECT_EQ(rig.chip.Flash().Activity().chipErases, 0u);
    EXPECT_TRUE(rig.SectorErases().empty());
    EXPECT_FALSE(rig.chip.InIspMode());
    EXPECT_NE(rig.view.info.texts.back().find("nothing was erased"), std::string::npos) << rig.view.info.texts.back();
  }
}

} // namespace
} // namespace orvane::test
