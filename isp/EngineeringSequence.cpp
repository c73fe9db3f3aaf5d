#include "isp/EngineeringSequence.h"

#include "isp/FlashCapacity.h"
#include "isp/FlashErase.h"
#include "usb/DeviceSession.h"

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

  view_.ShowProcessInfo("Enter ISP Mode");
  view_.ProcessMessages();
  // A device that could not be opened, or a chip that did not take ISP
  // mode, fails the steps after it, which say so on the page; a sequence
  // without steps fails for it all the same. The session leaves ISP mode
  // and closes the device however the sequence ends.
  DeviceSession session(chip_);
  bool reached = static_cast<bool>(session.Begin());
  if (steps.ispMode)
    reached = session.EnterIsp() && reached;
  // An unread identifier counts as all zeros, and names no size to refuse by.
  const bool identified = workers_.IdentifyFlash();
  // Past the end of the part the addresses wrap onto its start: a range
  // that does not fit is refused before anything is erased or written.
  const uint32_t eraseEnd = steps.erase && steps.assignedRange ? flash_.RangeStart + flash_.RangeSize : 0;
  const std::string refusal = identified ? SpanCapacityRefusal(std::max(end, eraseEnd), flash_.FlashId) : "";
  if (!refusal.empty()) {
    view_.ShowProcessInfo(refusal);
    flash_.IspFailed = true;
    flash_.StopRequested = false;
    return SequenceEnd::Finished;
  }

  if (steps.erase && !StopHere()) {
    view_.ShowProcessInfo("Clear Status register");
    workers_.ClearStatusRegister();
    // The erase opens and closes the device itself, and shows its own
    // failure; the steps after it start on a handle of their own.
    FlashErase(chip_, workers_).Run(!steps.assignedRange, flash_, view_);
    reached = session.Reopen() && reached;
  }
  RunStep(steps.blank, "Start Blanking Check", "Blanking Success",
          [&] { return workers_.BlankCheckRange(start, end); });
  RunStep(steps.program, "Start Programming", "Programming Success",
          [&] { return workers_.ProgramRange(start, end, start); });
  RunStep(steps.verify, "Start Verifying Check", "Verifying Success",
          [&] { return workers_.VerifyRange(start, end, start); });

  // A stopped or failed sequence still leaves the flash as the user asked
  // and the chip out of ISP mode. The steps have shown their outcome; the
  // protection's is on the page's status button.
  if (steps.protect)
    workers_.ProtectFlash();
  if (steps.ispMode)
    reached = session.LeaveIsp() && reached;
  session.End();
  flash_.IspFailed = flash_.IspFailed || !reached;
  flash_.StopRequested = false;
  if (stopped_) {
    view_.ShowProcessInfo("Stopped");
    return SequenceEnd::Stopped;
  }
  return SequenceEnd::Finished;
}

} // namespace orvane
