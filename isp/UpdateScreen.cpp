#include "isp/UpdateScreen.h"

namespace orvane {

void UpdateScreen::StepBegun(UpdateStep step) {
  status_.ShowStatus(StepText(step), StatusTone::Normal);
}

void UpdateScreen::EraseWaited(int poll) {
  status_.ShowStatus(EraseProgressText(StepText(UpdateStep::Erase), poll), StatusTone::Normal);
}

void UpdateScreen::AttemptFailed(const AttemptEnd &end) {
  // The red notice stays through the pause; the step after it is Retry.
  if (end.pauses)
    status_.ShowStatus(StepText(UpdateStep::Retry), StatusTone::Retry);
}

} // namespace orvane
