#pragma once

#include "isp/UpdateScreen.h"
#include "program/StepProgress.h"

namespace orvane {

class PanelFoot;

// The one-button update's events on the window, with its progress in the
// panel's foot for as long as it lives: the status line and the ISP
// page's labels show what they always showed (UpdateScreen), and the
// blocks-done reports move the bar below the status line, with a line of
// percent, bytes, time taken and time left as the command-line updater
// works them out. An erase, whose end only the chip knows, shows a busy
// bar and the time it has waited.
class UpdateProgressViews final : public UpdateScreen {
public:
  UpdateProgressViews(PanelFoot &foot, UpdateStatusView &status, IspView &isp, const Clock &clock,
                      const FlashState &flash, uint64_t spanBytes);
  ~UpdateProgressViews() override;
  UpdateProgressViews(const UpdateProgressViews &) = delete;
  UpdateProgressViews &operator=(const UpdateProgressViews &) = delete;

  void StepBegun(UpdateStep step) override;
  void AttemptFailed(const AttemptEnd &end) override;
  void BlocksDone(FlashPhase phase, uint32_t done, uint32_t total) override;

private:
  // A step without a walk of its own shows an empty bar, not the last one.
  void NewStep(UpdateStep step);

  PanelFoot &foot_;
  StepProgress steps_;
};

} // namespace orvane
