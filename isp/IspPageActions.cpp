#include "isp/IspPageActions.h"

#include "isp/HexText.h"
#include "usb/DeviceSession.h"

namespace orvane {

std::string ChipIdText(const std::array<uint8_t, 3> &id) {
  std::string text;
  for (uint8_t byte : id)
    text += "0x" + Hex2(byte) + ",  ";
  return text;
}

IspSpan ButtonSpan(bool assignedRange, const FlashState &flash, const ImageRecord &image) {
  const uint32_t start = assignedRange ? flash.RangeStart : 0;
  return {start, start + image.ImageLength, start};
}

bool RunIspStep(IspStep step, ChipCommands &chip, const ImageRecord &image, FlashState &flash, IspView &view,
                const IspSpan &span) {
  static constexpr const char *kStart[] = {"Start Blanking Check", "Start Programming...", "Start Verifying Check"};
  static constexpr const char *kDone[] = {"Blanking Success", "Programming Success", "Verifying Success"};
  const auto index = static_cast<size_t>(step);
  view.ShowProcessInfo(kStart[index]);
  // A device that could not be opened fails the walk, which says where.
  DeviceSession session(chip);
  const bool opened = static_cast<bool>(session.Begin());
  FlashWorkers workers(chip, image, flash, view);
  bool ok = false;
  switch (step) {
  case IspStep::BlankCheck:
    ok = workers.BlankCheckRange(span.start, span.end);
    break;
  case IspStep::Program:
    // Nothing has chosen how to program this part yet: ask it. A part that
    // does not say what it is is not programmed on a guess, and the next
    // click asks again.
    if (flash.ProgramChunkSize == 0 && !workers.IdentifyFlash())
      flash.ProgramChunkSize = 0;
    ok = workers.ProgramRange(span.start, span.end, span.imageBase);
    break;
  case IspStep::Verify:
    ok = workers.VerifyRange(span.start, span.end, span.imageBase);
    break;
  }
  ok = ok && opened;
  if (ok)
    view.ShowProcessInfo(kDone[index]);
  return ok;
}

} // namespace orvane
