#include "isp/FlashErase.h"

#include "isp/HexText.h"
#include "usb/DeviceSession.h"

namespace orvane {

FlashErase::Sent FlashErase::SendChipErase() {
  if (!chip_.FlashWriteEnable())
    return Sent::NotEnabled;
  return chip_.FlashChipErase() ? Sent::Sent : Sent::Failed;
}

ChipEraseOutcome FlashErase::EraseChip(const EraseClearance &, const std::function<void(int poll)> &onPoll) {
  ChipEraseOutcome outcome;
  for (;;) {
    const Sent sent = SendChipErase();
    outcome.mayHaveErased = outcome.mayHaveErased || sent != Sent::NotEnabled;
    if (sent == Sent::Sent)
      break;
    // A silent device is asked again once it answers; one that refused
    // the erase has not erased.
    if (chip_.Usb().Loss() == DeviceLoss::None) {
      outcome.end = sent == Sent::NotEnabled ? ChipEraseEnd::NotEnabled : ChipEraseEnd::Refused;
      return outcome;
    }
    if (!workers_.Resume()) {
      outcome.end = ChipEraseEnd::Unsent;
      return outcome;
    }
  }
  switch (workers_.WaitForEraseEnd([&](int poll, uint8_t) { onPoll(poll); })) {
  case FlashWorkers::EraseEnd::Finished:
    outcome.end = ChipEraseEnd::Erased;
    break;
  case FlashWorkers::EraseEnd::StillBusy:
    outcome.end = ChipEraseEnd::StillBusy;
    break;
  case FlashWorkers::EraseEnd::Unreadable:
    outcome.end = ChipEraseEnd::Unreadable;
    break;
  case FlashWorkers::EraseEnd::Halted:
    outcome.end = ChipEraseEnd::Halted;
    break;
  }
  return outcome;
}

bool FlashErase::Run(bool wholeChip, FlashState &flash, IspView &view) {
  const auto wait = [&](const std::function<std::string(int poll)> &caption) {
    return workers_.WaitForErase([&](int poll, uint8_t status) {
      view.ShowProcessInfo(caption(poll));
      view.ShowStatusRegister("Status Register: 0x" + Hex2(status));
      view.ProcessMessages();
    });
  };
  // A device that could not be opened fails the erase at its writes.
  DeviceSession session(chip_);
  bool finished = static_cast<bool>(session.Begin());
  bool waited = false;
  if (wholeChip) {
    view.ShowProcessInfo("Flash Erase All ");
    const bool sent = SendChipErase() == Sent::Sent;
    finished = wait([](int poll) { return EraseProgressText("Flash Erase All ", poll); }) && sent;
    waited = true;
  } else {
    view.ShowProcessInfo("Flash Sector Erase");
    const uint64_t end = uint64_t{flash.RangeStart} + flash.RangeSize;
    for (uint64_t a = flash.RangeStart; a < end; a += kSectorBytes) {
      const auto address = static_cast<uint32_t>(a);
      const bool sent = chip_.FlashWriteEnable() && chip_.FlashSectorErase(address);
      // A sector that never finished is not erased, and the flash, still
      // busy, may have ignored the sectors after it: the run has failed
      // even when the last wait finished.
      finished = wait([&](int) { return "Flash Sector Erase: 0x " + Hex6(address); }) && finished && sent;
      waited = true;
    }
  }
  session.End();
  if (waited && !finished) {
    view.ShowProcessInfo("Erase Flash Fail");
    flash.IspFailed = true;
  }
  return finished;
}

} // namespace orvane
