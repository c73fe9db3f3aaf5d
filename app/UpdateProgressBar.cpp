#include "app/UpdateProgressBar.h"

#include "app/PanelFoot.h"
#include "program/ProgressText.h"

#include <QLabel>
#include <QProgressBar>

namespace orvane {

UpdateProgressViews::UpdateProgressViews(PanelFoot &foot, UpdateStatusView &status, IspView &isp, const Clock &clock,
                                         const FlashState &flash, uint64_t spanBytes)
    : foot_(foot), status_(status), isp_(isp), steps_(clock, flash, spanBytes) {
  foot_.SetUpdating(true);
}

UpdateProgressViews::~UpdateProgressViews() {
  foot_.SetUpdating(false);
}

void UpdateProgressViews::ShowStatus(const std::string &text, StatusTone tone) {
  status_.ShowStatus(text, tone);
  if (!steps_.NewStep(text))
    return;
  // A step without a walk of its own shows an empty bar, not the last one.
  foot_.Bar().setRange(0, 100);
  foot_.Bar().setValue(0);
  foot_.ProgressLine().clear();
}

void UpdateProgressViews::ShowProcessInfo(const std::string &text) {
  stepFailure_ = text;
  isp_.ShowProcessInfo(text);
}

void UpdateProgressViews::Progress(FlashPhase phase, uint32_t done, uint32_t total) {
  isp_.Progress(phase, done, total);
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
