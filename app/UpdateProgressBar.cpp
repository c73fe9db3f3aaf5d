#include "app/UpdateProgressBar.h"

#include "app/PanelFoot.h"
#include "program/ProgressText.h"

#include <QLabel>
#include <QProgressBar>

namespace orvane {

UpdateProgressViews::UpdateProgressViews(PanelFoot &foot, UpdateStatusView &status, IspView &isp, const Clock &clock,
                                         const FlashState &flash, uint64_t spanBytes)
    : UpdateScreen(status, isp), foot_(foot), steps_(clock, flash, spanBytes) {
  foot_.SetUpdating(true);
}

UpdateProgressViews::~UpdateProgressViews() {
  foot_.SetUpdating(false);
}

void UpdateProgressViews::NewStep(UpdateStep step) {
  if (!steps_.NewStep(step))
    return;
  foot_.Bar().setRange(0, 100);
  foot_.Bar().setValue(0);
  foot_.ProgressLine().clear();
}

void UpdateProgressViews::StepBegun(UpdateStep step) {
  UpdateScreen::StepBegun(step);
  NewStep(step);
}

void UpdateProgressViews::AttemptFailed(const AttemptEnd &end) {
  UpdateScreen::AttemptFailed(end);
  if (end.pauses)
    NewStep(UpdateStep::Retry);
}

void UpdateProgressViews::BlocksDone(FlashPhase phase, uint32_t done, uint32_t total) {
  UpdateScreen::BlocksDone(phase, done, total);
  const WalkProgress progress = steps_.Update(phase, done, total);
  if (IsBlockWalk(phase)) {
    foot_.Bar().setRange(0, 100);
    foot_.Bar().setValue(progress.percent);
  } else {
    foot_.Bar().setRange(0, 0);
  }
  foot_.ProgressLine().setText(QString::fromStdString(ProgressLine(progress, false)));
}

} // namespace orvane
