#include "isp/UpdateEvents.h"

namespace orvane {

const char *StepText(UpdateStep step) {
  switch (step) {
  case UpdateStep::EnterIsp:
    return "Enter ISP Mode";
  case UpdateStep::IspEntryFailed:
    return kIspEntryFail;
  case UpdateStep::ClearStatus:
    return "Clear Status register";
  case UpdateStep::Erase:
    return "Flash Erase All ";
  case UpdateStep::EraseFailed:
    return "Erase Flash Fail";
  case UpdateStep::BlankCheck:
    return "Start Blanking Check";
  case UpdateStep::BlankCheckPassed:
    return "Blanking Success";
  case UpdateStep::Program:
    return "Start Programming";
  case UpdateStep::ProgramPassed:
    return "Programming Success";
  case UpdateStep::Verify:
    return "Start Verifying Check";
  case UpdateStep::VerifyPassed:
    return "Verifying Success";
  case UpdateStep::Retry:
    return "ISP Fail and retry";
  case UpdateStep::ReadBack:
    return "Read Flash data back";
  case UpdateStep::ReadBackPassed:
    return "Read Flash content Success";
  }
  return "";
}

} // namespace orvane
