#pragma once

#include "isp/IspView.h"
#include "isp/UpdateStatusView.h"
#include "program/StepProgress.h"

class QLabel;
class QProgressBar;
class QWidget;

namespace orvane {

// The running step's progress in the free lower part of the update panel,
// below the process status line: a bar, and a line with percent, bytes,
// time taken and time left as the command-line updater works them out.
// Made hidden, once, with the window.
void AddUpdateProgressBar(QWidget &window, const QLabel &statusLine);
// Hides the bar: the service view puts its pages where it stands.
void HideUpdateProgressBar(QWidget &window);

// The views of the one-button update with the progress bar shown for as
// long as it lives: every text goes on to the designed controls as before,
// and the blocks-done reports move the bar. An erase, whose end only the
// chip knows, shows a busy bar and the time it has waited.
class UpdateProgressViews final : public UpdateStatusView, public IspView {
public:
  // shown: false keeps the bar hidden (the service view has its own labels
  // where the bar would be).
  UpdateProgressViews(QWidget &window, UpdateStatusView &status, IspView &isp, const Clock &clock,
                      const FlashState &flash, uint64_t spanBytes, bool shown);
  ~UpdateProgressViews() override;
  UpdateProgressViews(const UpdateProgressViews &) = delete;
  UpdateProgressViews &operator=(const UpdateProgressViews &) = delete;

  void ShowStatus(const std::string &text, StatusTone tone) override;
  void ShowProcessInfo(const std::string &text) override { isp_.ShowProcessInfo(text); }
  void ShowProcessAddress(const std::string &text) override { isp_.ShowProcessAddress(text); }
  void ShowStatusRegister(const std::string &text) override { isp_.ShowStatusRegister(text); }
  void ProcessMessages() override { status_.ProcessMessages(); }
  void Progress(FlashPhase phase, uint32_t done, uint32_t total) override;

private:
  UpdateStatusView &status_;
  IspView &isp_;
  StepProgress steps_;
  QProgressBar *bar_;
  QLabel *text_;
};

} // namespace orvane
