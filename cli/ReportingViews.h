#pragma once

#include "isp/FlashState.h"
#include "isp/IspView.h"
#include "isp/UpdateStatusView.h"
#include "program/StepProgress.h"
#include "program/UpdateReporter.h"

#include <string>

namespace orvane {

// The update panel's status line and the ISP page's labels, as events for
// a reporter: each status text once (the erase's growing dots are progress,
// not steps), the blocks done as progress, a failed attempt with the
// reason the update gave.
class ReportingViews final : public UpdateStatusView, public IspView {
public:
  // spanBytes: bytes the block walks cover; flash: for the program chunk size.
  ReportingViews(UpdateReporter &reporter, const Clock &clock, const FlashState &flash, uint64_t spanBytes)
      : reporter_(reporter), steps_(clock, flash, spanBytes) {}

  void ShowStatus(const std::string &text, StatusTone tone) override;
  void AttemptFailed(int attempt, int attempts, const std::string &reason) override;
  void ShowProcessInfo(const std::string &text) override;
  void ShowProcessAddress(const std::string &) override {}
  void ShowStatusRegister(const std::string &) override {}
  void ProcessMessages() override {}
  void Progress(FlashPhase phase, uint32_t done, uint32_t total) override;

  int FailedAttempts() const { return failedAttempts_; }
  // The last failure text a flash walk showed ("Verifying Fail at
  // 0x000040"); empty when none.
  const std::string &LastFailure() const { return failure_; }

private:
  UpdateReporter &reporter_;
  StepProgress steps_;
  std::string failure_;
  int failedAttempts_ = 0;
};

} // namespace orvane
