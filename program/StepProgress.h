#pragma once

#include "isp/FlashState.h"
#include "isp/UpdateEvents.h"
#include "isp/WalkProgress.h"
#include "usb/Clock.h"

#include <optional>

namespace orvane {

// Follows an update through its steps and the blocks-done reports of its
// flash walks: which step runs, and how far its walk has got with the time
// it has taken and is likely to take. The command-line updater and the
// window's progress bar both work their numbers out here.
class StepProgress {
public:
  // spanBytes: bytes the block walks cover; flash: for the program chunk size.
  StepProgress(const Clock &clock, const FlashState &flash, uint64_t spanBytes)
      : flash_(flash), meter_(clock), spanBytes_(spanBytes) {}

  // True when step is not the step that runs already (the retry notice
  // and the step that ends its pause are one step).
  bool NewStep(UpdateStep step);
  WalkProgress Update(FlashPhase phase, uint32_t done, uint32_t total);

private:
  const FlashState &flash_;
  ProgressMeter meter_;
  uint64_t spanBytes_;
  std::optional<UpdateStep> step_;
};

} // namespace orvane
