#include "isp/OneButtonUpdate.h"

#include "isp/ErasedImage.h"
#include "isp/FlashCapacity.h"
#include "isp/FlashTimeLimits.h"

namespace orvane {

bool OneButtonUpdate::Run() {
  attempts_ = 0;
  reason_.clear();
  refusal_.clear();
  // Nothing to program can never be a successful update.
  if (image_.ImageLength == 0) {
    flash_.IspFailed = true;
    return false;
  }
  if (HoldsOnlyErasedBytes(image_.ImageBuffer, image_.ImageLength)) {
    refusal_ = std::string("The image was refused: ") + kErasedImageRefusal;
    flash_.IspFailed = true;
    return false;
  }
  Show("Enter ISP Mode");
  status_.ProcessMessages();
  VantrelUsb &usb = chip_.Usb();
  Clock &clock = chip_.Time();
  const uint64_t startUs = clock.NowUs();
  static_cast<void>(usb.Open()); // a failed open fails the transfers that follow, and they report it
  entered_ = EnterIspAndIdentify();
  // An image larger than the flash would wrap onto its start: the device
  // is left as it was, before anything is erased.
  refusal_ = ImageCapacityRefusal(image_.ImageLength, flash_.FlashId);
  if (!refusal_.empty()) {
    Leave();
    usb.Close();
    flash_.IspFailed = true;
    return false;
  }
  // The identifier read now names the part; one that could not be read gets
  // the longest limits.
  const uint64_t limitMs = UpdateTimeLimitMs(flash_.FlashId, image_.ImageLength, kAttempts);
  flash_.DeadlineUs = startUs + (limitMs - kFinishAllowanceMs) * 1000;

  bool verified = false;
  while (attempts_ < kAttempts) {
    if (attempts_ > 0 && !StartOver())
      break;
    ++attempts_;
    if (entered_) {
      verified = Attempt();
    } else {
      Show(kIspEntryFail);
      verified = false;
    }
    flash_.IspFailed = !verified;
    if (verified || PastDeadline())
      break;
    // A device that went away and does not come back gets its verdict now.
    if (usb.Loss() != DeviceLoss::None && (attempts_ == kAttempts || !ReopenDevice()))
      break;
    status_.ShowStatus("ISP Fail and retry", StatusTone::Retry);
    status_.ProcessMessages();
    // The red text stays for a second; the window keeps turning meanwhile.
    for (uint32_t paused = 0; paused < kRetryPauseMs; paused += kRetryPauseStepMs) {
      clock.SleepMs(kRetryPauseStepMs);
      status_.ProcessMessages();
    }
    Show("ISP Fail and retry");
  }

  NoteReason(entered_, limitMs);
  // Protecting and leaving have their own short waits; they are what the
  // deadline kept time back for.
  flash_.DeadlineUs = startUs + limitMs * 1000;
  bool protectedFlash = false;
  bool left = false;
  // A chip that never entered ISP mode passes nothing on to its flash; a
  // gone one hears nothing at all.
  if (usb.Loss() == DeviceLoss::None) {
    protectedFlash = entered_ && Protect();
    left = Leave();
  }
  if (reason_.empty() && usb.Loss() != DeviceLoss::None)
    NoteReason(entered_, limitMs);
  usb.Close();
  flash_.DeadlineUs = 0;
  // The update is done only when the chip will start the verified image
  // from a protected flash.
  flash_.IspFailed = !(verified && protectedFlash && left);
  if (!flash_.IspFailed)
    reason_.clear();
  return !flash_.IspFailed;
}

void OneButtonUpdate::NoteReason(bool entered, uint64_t limitMs) {
  switch (chip_.Usb().Loss()) {
  case DeviceLoss::Unplugged:
    reason_ = kReasonDisconnected;
    return;
  case DeviceLoss::StoppedAnswering:
    reason_ = kReasonStoppedAnswering;
    return;
  case DeviceLoss::None:
    if (vanished_) {
      reason_ = kReasonDisconnected;
      return;
    }
    break;
  }
  if (PastDeadline())
    reason_ = "the update ran past its time limit of " + std::to_string((limitMs + 999) / 1000) + " s";
  else if (!entered)
    reason_ = kReasonNoIspMode;
}

bool OneButtonUpdate::PastDeadline() const {
  return flash_.DeadlineUs != 0 && chip_.Time().NowUs() >= flash_.DeadlineUs;
}

bool OneButtonUpdate::ReopenDevice() {
  Clock &clock = chip_.Time();
  const uint64_t until = clock.NowUs() + uint64_t{kReopenWindowMs} * 1000;
  for (;;) {
    if (chip_.Usb().Reopen())
      return true;
    if (clock.NowUs() >= until)
      return false;
    clock.SleepMs(kReopenPollMs);
    status_.ProcessMessages();
  }
}

bool OneButtonUpdate::EnterIspAndIdentify() {
  const bool entered = chip_.SetIspMode(true);
  static_cast<void>(
      workers_.IdentifyFlash()); // an unread identifier counts as all zeros, which the checks after it allow for
  return entered;
}

bool OneButtonUpdate::StartOver() {
  // A failed attempt can have left the handle dead (a late answer closes a
  // virtual connection, a re-enumerated device has a new handle), the chip
  // out of ISP mode, the flash inside a word-program sequence that takes no
  // other instruction until write disable, or the program mode chosen from
  // a garbled identifier: none of it would pass by itself.
  if (!ReopenDevice()) {
    // Unplugged while no transfer was running (in the pause before a
    // retry): no request saw it go, yet it is gone all the same.
    vanished_ = true;
    return false;
  }
  entered_ = chip_.SetIspMode(true);
  if (entered_)
    static_cast<void>(
        chip_.FlashWriteDisable()); // the identification after it fails by itself when this did not go through
  static_cast<void>(
      workers_.IdentifyFlash()); // an unread identifier counts as all zeros, which the checks after it allow for
  return true;
}

bool OneButtonUpdate::Protect() {
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    const auto status = workers_.ProtectFlash();
    // A flash that never finished the write will not finish another.
    if (!status)
      return false;
    const uint8_t protectBits = flash_.Part.protectCheckBits;
    if ((*status & protectBits) == protectBits)
      return true;
  }
  return false;
}

bool OneButtonUpdate::Leave() {
  for (int attempt = 0; attempt < kAttempts; ++attempt)
    if (chip_.SetIspMode(false))
      return true;
  return false;
}

bool OneButtonUpdate::Attempt() {
  const uint32_t end = image_.ImageLength;
  Show("Clear Status register");
  workers_.ClearStatusRegister();

  Show("Flash Erase All ");
  // A not-busy status after a lost erase command proves nothing.
  if (!chip_.FlashWriteEnable() || !chip_.FlashChipErase()) {
    Show("Erase Flash Fail");
    return false;
  }
  const bool erased = workers_.WaitForErase([&](int poll, uint8_t) {
    Show(EraseProgressText("Flash Erase All ", poll));
    status_.ProcessMessages();
  });
  if (!erased) {
    if (!workers_.Halted())
      Show("Erase Flash Fail");
    return false;
  }
  static_cast<void>(chip_.Usb().Open()); // a failed open fails the transfers that follow, and they report it

  Show("Start Blanking Check");
  if (!workers_.BlankCheckRange(0, end))
    return false;
  Show("Blanking Success");

  Show("Start Programming");
  if (!workers_.ProgramRange(0, end, 0))
    return false;
  Show("Programming Success");

  Show("Start Verifying Check");
  if (!workers_.VerifyRange(0, end, 0))
    return false;
  Show("Verifying Success");
  return true;
}

} // namespace orvane
