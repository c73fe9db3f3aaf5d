#pragma once

#include "isp/FlashState.h"
#include "isp/IspView.h"
#include "isp/WalkProgress.h"
#include "usb/Clock.h"

#include <string>

namespace orvane {

// Follows an update through its status texts and the blocks-done reports
// of its flash walks: which step runs, and how far its walk has got with
// the time it has taken and is likely to take. The command-line updater
// and the window's progress bar both work their numbers out here.
class StepProgress {
public:
  // spanBytes: bytes the block walks cover; flash: for the program chunk size.
  StepProgress(const Clock &clock, const FlashState &flash, uint64_t spanBytes)
      : flash_(flash), meter_(clock), spanBytes_(spanBytes) {}

  // True when the text begins a step: not the step that runs, and not the
  // erase's growing dots, which are the same step still waiting.
  bool NewStep(const std::string &text);
  const std::string &CurrentStep() const { return step_; }
  WalkProgress Update(FlashPhase phase, uint32_t done, uint32_t total);

private:
  const FlashState &flash_;
  ProgressMeter meter_;
  uint64_t spanBytes_;
  std::string step_;
};

} // namespace orvane
