#include "isp/EngineeringSequence.h"

#include "isp/FlashCapacity.h"
#include "isp/FlashErase.h"

#include <algorithm>

namespace orvane {

bool EngineeringSequence::StopHere() {
  if (flash_.StopRequested)
    stopped_ = true;
  return stopped_;
}

void EngineeringSequence::RunStep(bool wanted, const char *startText, const char *successText,
                                  const std::function<bool()> &step) {
  if (!wanted || flash_.IspFailed || StopHere())
    return;
  view_.ShowProcessInfo(startText);
  flash_.IspFailed = !step();
  if (!flash_.IspFailed)
    view_.ShowProcessInfo(successText);
}

bool EngineeringSequence::SpanFits(const EngineeringSteps &steps) const {
  if (!steps.assignedRange)
    return FitsFlashAddressSpace(0, image_.ImageLength);
  return FitsFlashAddressSpace(flash_.RangeStart, image_.ImageLength) &&
         (!steps.erase || FitsFlashAddressSpace(flash_.RangeStart, flash_.RangeSize));
}

SequenceEnd EngineeringSequence::Run(const EngineeringSteps &steps) {
  stopped_ = false;
  flash_.IspFailed = !SpanFits(steps);
  if (flash_.IspFailed)
    return SequenceEnd::Finished;
  const uint32_t start = steps.assignedRange ? flash_.RangeStart : 0;
  const uint32_t end = start + image_.ImageLength;
  VantrelUsb &usb = chip_.Usb();

  view_.ShowProcessInfo("Enter ISP Mode");
  view_.ProcessMessages();
  static_cast<void>(usb.Open()); // a failed open fails the transfers that follow, and they report it
  if (steps.ispMode)
    static_cast<void>(chip_.SetIspMode(true)); // a chip left out of ISP mode fails the steps after it, which report it
  static_cast<void>(
      workers_.IdentifyFlash()); // an unread identifier counts as all zeros, which the checks after it allow for
  // Past the end of the part the addresses wrap onto its start: a range
  // that does not fit is refused before anything is erased or written.
  const uint32_t eraseEnd = steps.erase && steps.assignedRange ? flash_.RangeStart + flash_.RangeSize : 0;
  const std::string refusal = SpanCapacityRefusal(std::max(end, eraseEnd), flash_.FlashId);
  if (!refusal.empty()) {
    view_.ShowProcessInfo(refusal);
    flash_.IspFailed = true;
    if (steps.ispMode)
      static_cast<void>(chip_.SetIspMode(false)); // best effort: the device may already be gone
    usb.Close();
    flash_.StopRequested = false;
    return SequenceEnd::Finished;
  }

  if (steps.erase && !StopHere()) {
    view_.ShowProcessInfo("Clear Status register");
    workers_.ClearStatusRegister();
    static_cast<void>(FlashErase(chip_, workers_)
                          .Run(!steps.assignedRange, flash_,
                               view_)); // the erase shows its own failure and marks the sequence failed
  }
  static_cast<void>(usb.Open()); // a failed open fails the transfers that follow, and they report it
  RunStep(steps.blank, "Start Blanking Check", "Blanking Success",
          [&] { return workers_.BlankCheckRange(start, end); });
  RunStep(steps.program, "Start Programming", "Programming Success",
          [&] { return workers_.ProgramRange(start, end, start); });
  RunStep(steps.verify, "Start Verifying Check", "Verifying Success",
          [&] { return workers_.VerifyRange(start, end, start); });

  // A stopped or failed sequence still leaves the flash as the user asked
  // and the chip out of ISP mode.
  if (steps.protect)
    static_cast<void>(workers_.ProtectFlash()); // best effort at the end: the steps have already shown their outcome
  if (steps.ispMode)
    static_cast<void>(chip_.SetIspMode(false)); // best effort: the device may already be gone
  usb.Close();
  flash_.StopRequested = false;
  if (stopped_) {
    view_.ShowProcessInfo("Stopped");
    return SequenceEnd::Stopped;
  }
  return SequenceEnd::Finished;
}

} // namespace orvane
