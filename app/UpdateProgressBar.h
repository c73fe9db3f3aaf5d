#pragma once

#include "isp/IspView.h"
#include "isp/UpdateStatusView.h"
#include "program/StepProgress.h"

#include <string>

namespace orvane {

class PanelFoot;

// The views of the one-button update with its progress in the panel's
// foot for as long as it lives: every text goes on to the designed
// controls as before, and the blocks-done reports move the bar below the
// status line, with a line of percent, bytes, time taken and time left as
// the command-line updater works them out. An erase, whose end only the
// chip knows, shows a busy bar and the time it has waited.
class UpdateProgressViews final : public UpdateStatusView, public IspView {
public:
  UpdateProgressViews(PanelFoot &foot, UpdateStatusView &status, IspView &isp, const Clock &clock,
                      const FlashState &flash, uint64_t spanBytes);
  ~UpdateProgressViews() override;
  UpdateProgressViews(const UpdateProgressViews &) = delete;
  UpdateProgressViews &operator=(const UpdateProgressViews &) = delete;

  void ShowStatus(const std::string &text, StatusTone tone) override;
  void ShowProcessInfo(const std::string &text) override;
  void ShowProcessAddress(const std::string &text) override { isp_.ShowProcessAddress(text); }
  void ShowStatusRegister(const std::string &text) override { isp_.ShowStatusRegister(text); }
  void ProcessMessages() override { status_.ProcessMessages(); }
  void Progress(FlashPhase phase, uint32_t done, uint32_t total) override;

  // The last failure a flash step of the update reported ("Verifying Fail
  // at 0x000800"): the steps tell the ISP page only of their failures.
  const std::string &StepFailure() const { return stepFailure_; }

private:
  PanelFoot &foot_;
  UpdateStatusView &status_;
  IspView &isp_;
  StepProgress steps_;
  std::string stepFailure_;
};

} // namespace orvane
