#pragma once

#include "isp/IspView.h"
#include "isp/UpdateEvents.h"
#include "isp/UpdateStatusView.h"

namespace orvane {

// An update's events as the window shows them: each step's text on the
// status line, the retry notice in red until the pause is over, the
// erase's growing dots, and the flash walks on the ISP page's labels.
class UpdateScreen : public UpdateEvents {
public:
  UpdateScreen(UpdateStatusView &status, IspView &isp) : status_(status), isp_(isp) {}

  void StepBegun(UpdateStep step) override;
  void EraseWaited(int poll) override;
  void AttemptFailed(const AttemptEnd &end) override;
  void BlockReached(FlashPhase phase, uint32_t address) override { isp_.BlockReached(phase, address); }
  void BlocksDone(FlashPhase phase, uint32_t done, uint32_t total) override { isp_.BlocksDone(phase, done, total); }
  void WalkFailed(FlashPhase phase, const std::string &reason) override { isp_.WalkFailed(phase, reason); }
  void ProcessMessages() override { status_.ProcessMessages(); }

private:
  UpdateStatusView &status_;
  IspView &isp_;
};

} // namespace orvane
