// How one handle's transfer outcomes become a lost device: three time-outs
// in a row for a silent one, at once for one that left.

#include "usb/DeviceLossWatch.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

TEST(DeviceLossWatch, ThreeTimeOutsInARowMakeASilentDevice) {
  DeviceLossWatch watch;
  watch.TimedOut();
  watch.TimedOut();
  EXPECT_EQ(watch.Loss(), DeviceLoss::None);
  watch.TimedOut();
  EXPECT_EQ(watch.Loss(), DeviceLoss::StoppedAnswering);
}

TEST(DeviceLossWatch, AnAnswerInBetweenStartsTheCountAgain) {
  DeviceLossWatch watch;
  for (int round = 0; round < 5; ++round) {
    watch.TimedOut();
    watch.TimedOut();
    watch.Answered();
  }
  EXPECT_EQ(watch.Loss(), DeviceLoss::None);
}

TEST(DeviceLossWatch, ADeviceThatLeftIsUnpluggedForGood) {
  DeviceLossWatch watch;
  watch.TimedOut();
  watch.Gone();
  EXPECT_EQ(watch.Loss(), DeviceLoss::Unplugged);
  watch.Answered();
  watch.TimedOut();
  watch.Wedged();
  EXPECT_EQ(watch.Loss(), DeviceLoss::Unplugged);
}

TEST(DeviceLossWatch, SilentTurnsIntoGoneWhenTheDeviceLeavesButNotBack) {
  DeviceLossWatch watch;
  for (int i = 0; i < DeviceLossWatch::kTimeoutsUntilSilent; ++i)
    watch.TimedOut();
  watch.Answered();
  EXPECT_EQ(watch.Loss(), DeviceLoss::StoppedAnswering);
  watch.Gone();
  EXPECT_EQ(watch.Loss(), DeviceLoss::Unplugged);
}

TEST(DeviceLossWatch, ACallThatNeverCameBackLeavesTheHandleSilent) {
  DeviceLossWatch watch;
  watch.Wedged();
  EXPECT_EQ(watch.Loss(), DeviceLoss::StoppedAnswering);
}

} // namespace
} // namespace orvane
