#pragma once

#include "isp/FlashState.h"
#include "isp/UpdateEvents.h"
#include "program/StepProgress.h"
#include "program/UpdateReporter.h"

#include <string>

namespace orvane {

// An update's events for a reporter: each step's text once (the erase's
// polls are progress, not steps), the blocks done as progress, an attempt
// that failed and is retried with the reason the update gave.
class ReportingEvents final : public UpdateEvents {
public:
  // spanBytes: bytes the block walks cover; flash: for the program chunk size.
  ReportingEvents(UpdateReporter &reporter, const Clock &clock, const FlashState &flash, uint64_t spanBytes)
      : reporter_(reporter), steps_(clock, flash, spanBytes) {}

  void StepBegun(UpdateStep step) override;
  void AttemptFailed(const AttemptEnd &end) override;
  void BlocksDone(FlashPhase phase, uint32_t done, uint32_t total) override;
  void WalkFailed(FlashPhase phase, const std::string &reason) override;

  int FailedAttempts() const { return failedAttempts_; }
  // Why the last flash walk failed ("Verifying Fail at 0x000040"); empty
  // when none did.
  const std::string &WalkFailure() const { return walkFailure_; }

private:
  UpdateReporter &reporter_;
  StepProgress steps_;
  std::string walkFailure_;
  int failedAttempts_ = 0;
};

} // namespace orvane
