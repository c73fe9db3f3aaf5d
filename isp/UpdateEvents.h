#pragma once

#include "isp/FlashEvents.h"

#include <string>

namespace orvane {

// The steps an update (and the command-line read-back) goes through, in
// the order they are met.
enum class UpdateStep {
  EnterIsp,
  IspEntryFailed,
  ClearStatus,
  Erase,
  EraseFailed,
  BlankCheck,
  BlankCheckPassed,
  Program,
  ProgramPassed,
  Verify,
  VerifyPassed,
  Retry, // the pause before another attempt is over
  ReadBack,
  ReadBackPassed,
};

inline constexpr const char *kIspEntryFail = "Enter ISP Mode Fail";

// The status line's text for a step: "Enter ISP Mode", "Flash Erase All ",
// "Start Programming", "ISP Fail and retry" ...
const char *StepText(UpdateStep step);

// An attempt of an update that ended without verifying the image.
struct AttemptEnd {
  int attempt = 0;
  int attempts = 0;
  std::string reason; // in the update's own words: "Verifying Fail at 0x001000"
  // The update shows the failure and pauses before it goes on: to the next
  // attempt, or after the last one to protecting the flash. Otherwise the
  // failure ends the update at once, and the verdict tells it.
  bool pauses = false;
};

// What an update tells as it goes, as facts: the step it begins, the
// erase's polls, the attempts, and the flash walks' blocks (FlashEvents).
// The window, the terminal and the JSON lines each render them in their
// own way; the texts are theirs to make.
class UpdateEvents : public FlashEvents {
public:
  virtual void StepBegun(UpdateStep /*step*/) {}
  // The chip erase has been waited for poll status reads so far.
  virtual void EraseWaited(int /*poll*/) {}
  virtual void AttemptBegun(int /*attempt*/, int /*attempts*/) {}
  virtual void AttemptFailed(const AttemptEnd & /*end*/) {}
};

} // namespace orvane
