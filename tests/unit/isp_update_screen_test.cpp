#include "isp/UpdateScreen.h"
#include "program/StepProgress.h"
#include "sequence_rig.h"

#include <gtest/gtest.h>

namespace orvane::test {
namespace {

using Shown = std::vector<std::pair<std::string, StatusTone>>;

TEST(UpdateScreenTest, StepsAndTheEraseShowOnTheStatusLineAndTheWalksOnTheIspPage) {
  RecordingStatusView status;
  RecordingIspView isp;
  UpdateScreen screen(status, isp);
  screen.StepBegun(UpdateStep::Erase);
  screen.EraseWaited(0);
  screen.EraseWaited(40);
  screen.StepBegun(UpdateStep::Verify);
  screen.BlockReached(FlashPhase::Verify, 0x40);
  screen.WalkFailed(FlashPhase::Verify, "Verifying Fail at 0x000041");
  EXPECT_EQ(status.shown, (Shown{{"Flash Erase All ", StatusTone::Normal},
                                 {"Flash Erase All ", StatusTone::Normal},
                                 {"Flash Erase All ..", StatusTone::Normal},
                                 {"Start Verifying Check", StatusTone::Normal}}));
  EXPECT_EQ(isp.info.texts, std::vector<std::string>{"Verifying Fail at 0x000041"});
}

TEST(UpdateScreenTest, AFailedAttemptThatPausesShowsTheRetryNoticeInRedUntilThePauseIsOver) {
  RecordingStatusView status;
  RecordingIspView isp;
  UpdateScreen screen(status, isp);
  screen.AttemptFailed({1, 3, "Blanking Fail at 0x000100", true});
  screen.StepBegun(UpdateStep::Retry);
  screen.AttemptFailed({2, 3, "the device was disconnected", false});
  EXPECT_EQ(status.shown,
            (Shown{{"ISP Fail and retry", StatusTone::Retry}, {"ISP Fail and retry", StatusTone::Normal}}))
      << "an attempt that ends the update leaves the line to the verdict";
}

TEST(StepProgressTest, AStepIsNewOnceAndTheRetryNoticeAndItsEndAreOneStep) {
  VirtualClock clock;
  FlashState flash;
  StepProgress steps(clock, flash, 4096);
  EXPECT_TRUE(steps.NewStep(UpdateStep::Erase));
  EXPECT_FALSE(steps.NewStep(UpdateStep::Erase));
  EXPECT_TRUE(steps.NewStep(UpdateStep::Retry));
  EXPECT_FALSE(steps.NewStep(UpdateStep::Retry));
  EXPECT_TRUE(steps.NewStep(UpdateStep::ClearStatus));
}

TEST(UpdateStepTest, EveryStepHasTheWindowsText) {
  EXPECT_STREQ(StepText(UpdateStep::EnterIsp), "Enter ISP Mode");
  EXPECT_STREQ(StepText(UpdateStep::IspEntryFailed), kIspEntryFail);
  EXPECT_STREQ(StepText(UpdateStep::ClearStatus), "Clear Status register");
  EXPECT_STREQ(StepText(UpdateStep::Erase), "Flash Erase All ");
  EXPECT_STREQ(StepText(UpdateStep::EraseFailed), "Erase Flash Fail");
  EXPECT_STREQ(StepText(UpdateStep::BlankCheck), "Start Blanking Check");
  EXPECT_STREQ(StepText(UpdateStep::BlankCheckPassed), "Blanking Success");
  EXPECT_STREQ(StepText(UpdateStep::Program), "Start Programming");
  EXPECT_STREQ(StepText(UpdateStep::ProgramPassed), "Programming Success");
  EXPECT_STREQ(StepText(UpdateStep::Verify), "Start Verifying Check");
  EXPECT_STREQ(StepText(UpdateStep::VerifyPassed), "Verifying Success");
  EXPECT_STREQ(StepText(UpdateStep::Retry), "ISP Fail and retry");
  EXPECT_STREQ(StepText(UpdateStep::ReadBack), "Read Flash data back");
  EXPECT_STREQ(StepText(UpdateStep::ReadBackPassed), "Read Flash content Success");
}

} // namespace
} // namespace orvane::test
