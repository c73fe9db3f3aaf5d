#include "isp/OneButtonUpdate.h"
#include "program/ConnectionMonitor.h"
#include "program/UpdatePanelOutcome.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

UpdateVerdict Failed(std::string reason, bool flashChanged = true) {
  UpdateVerdict verdict;
  verdict.attempts = 1;
  verdict.reason = std::move(reason);
  verdict.flashChanged = flashChanged;
  return verdict;
}

TEST(PanelOutcomeTest, ASuccessNeedsNoReason) {
  UpdateVerdict verdict = Failed("");
  verdict.success = true;
  EXPECT_EQ(UpdateOutcome(verdict), (PanelOutcome{kUpdateSuccess, StatusTone::Success, ""}));
}

// The verdict stays as it is; what it was refused for goes below it.
TEST(PanelOutcomeTest, ARefusalFailsWithTheRefusalAsItsReason) {
  const std::string refusal = "The image (196608 bytes) is larger than the flash of this device (131072 bytes, "
                              "identifier C2 22 11); nothing was erased";
  UpdateVerdict verdict;
  verdict.refusal = refusal;
  EXPECT_EQ(UpdateOutcome(verdict), (PanelOutcome{kUpdateFail, StatusTone::Failure, refusal + "."}));
}

TEST(PanelOutcomeTest, EveryFailureHasAReasonTheUpdatesOwnFirst) {
  EXPECT_EQ(UpdateOutcome(Failed("the device was disconnected")),
            (PanelOutcome{kUpdateFail, StatusTone::Failure, "the device was disconnected"}));
  EXPECT_EQ(UpdateOutcome(Failed("Verifying Fail at 0x000800")),
            (PanelOutcome{kUpdateFail, StatusTone::Failure, "Verifying Fail at 0x000800"}));
  EXPECT_EQ(UpdateOutcome(Failed("")), (PanelOutcome{kUpdateFail, StatusTone::Failure, kNoFailureReason}));
  EXPECT_EQ(UpdateOutcome(Failed("the flash did not give its identifier", false)),
            (PanelOutcome{kUpdateFail, StatusTone::Failure,
                          "the flash did not give its identifier; the device was not changed"}));
}

TEST(PanelOutcomeTest, ABusyDeviceSaysWhoHoldsItAndWhenStartComesBack) {
  const DeviceError busy{DeviceErrorKind::Busy, "device busy: another update is running (pid 4242)"};
  const PanelOutcome outcome = LockRefusalOutcome(busy);
  EXPECT_EQ(outcome.status, busy.text);
  EXPECT_EQ(outcome.tone, StatusTone::Retry) << "not a verdict";
  EXPECT_EQ(outcome.reason, "another program is updating this device; Start becomes available when it has finished");
}

TEST(PanelOutcomeTest, AGoneDeviceIsNoDeviceAndALockThatCannotBeTakenSaysWhy) {
  for (const DeviceErrorKind gone : {DeviceErrorKind::Gone, DeviceErrorKind::NoDevice}) {
    EXPECT_EQ(LockRefusalOutcome({gone, "the device is gone"}), DeviceGoneOutcome());
    EXPECT_EQ(DeviceGoneOutcome().status, kNoDeviceCaption);
  }
  const DeviceError failed{DeviceErrorKind::LockFailed, "cannot use the device lock /run/lock/x.lock: is a folder; "
                                                        "without its lock the device is left alone"};
  EXPECT_EQ(LockRefusalOutcome(failed), (PanelOutcome{kDeviceLockNotTaken, StatusTone::Retry, failed.text}));
}

} // namespace
} // namespace orvane
