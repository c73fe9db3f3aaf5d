#pragma once

#include "isp/FlashWorkers.h"
#include "isp/IspView.h"

namespace orvane {

// Which steps the engineering sequence runs: the check boxes of the ISP page.
struct EngineeringSteps {
  bool ispMode = true;  // enter ISP mode before and leave it after
  bool erase = true;    // clear the status register and erase
  bool blank = true;    // blank check
  bool program = true;  // program
  bool verify = true;   // verify
  bool protect = false; // write the protecting status value at the end
  // "Assign Range": the span starts at RangeStart and the erase takes the
  // 4 KB sectors of RangeStart .. RangeStart + RangeSize. Otherwise the span
  // starts at 0 and the whole chip is erased.
  bool assignedRange = false;
};

enum class SequenceEnd { Finished, Stopped };

// The ISP page's automatic sequence over the span [start, start + image
// length), start 0 or RangeStart: no retry and no verdict; the last step text, or the failure
// text of a worker, stays on the page. A stop request is honoured before
// the erase, blank check, program and verify steps; the flash is then still
// protected when asked and ISP mode left.
class EngineeringSequence {
public:
  EngineeringSequence(ChipCommands &chip, const ImageRecord &image, FlashState &flash, IspView &view)
      : chip_(chip), image_(image), flash_(flash), view_(view), workers_(chip, image, flash, view) {}

  // The span and the erased range must lie in the flash address space
  // (SpanFits); otherwise nothing is sent and IspFailed is set.
  SequenceEnd Run(const EngineeringSteps &steps);
  bool SpanFits(const EngineeringSteps &steps) const;

private:
  // Runs a blank check, program or verify step unless it is switched off,
  // an earlier step failed or the sequence has stopped.
  void RunStep(bool wanted, const char *startText, const char *successText, const std::function<bool()> &step);
  bool StopHere();

  bool stopped_ = false;

  ChipCommands &chip_;
  const ImageRecord &image_;
  FlashState &flash_;
  IspView &view_;
  FlashWorkers workers_;
};

} // namespace orvane
