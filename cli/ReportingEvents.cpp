#include "cli/ReportingEvents.h"

namespace orvane {

void ReportingEvents::StepBegun(UpdateStep step) {
  if (steps_.NewStep(step))
    reporter_.Step(StepText(step));
}

void ReportingEvents::AttemptFailed(const AttemptEnd &end) {
  // An attempt that ends the update has its reason in the verdict.
  if (!end.pauses)
    return;
  StepBegun(UpdateStep::Retry);
  failedAttempts_ = end.attempt;
  reporter_.AttemptFailed(end.attempt, end.attempts, end.reason);
}

void ReportingEvents::BlocksDone(FlashPhase phase, uint32_t done, uint32_t total) {
  reporter_.Progress(steps_.Update(phase, done, total));
}

void ReportingEvents::WalkFailed(FlashPhase, const std::string &reason) {
  walkFailure_ = reason;
}

} // namespace orvane
