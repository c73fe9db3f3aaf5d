#include "isp/OneButtonUpdate.h"

#include "isp/ErasedImage.h"
#include "isp/FlashCapacity.h"
#include "isp/FlashParts.h"
#include "isp/FlashTimeLimits.h"

namespace orvane {

std::string ReasonForUser(const std::string &reason, bool flashChanged) {
  if (flashChanged)
    return reason;
  return reason.empty() ? std::string(kDeviceNotChanged) : reason + "; " + kDeviceNotChanged;
}

bool OneButtonUpdate::Run() {
  attempts_ = 0;
  entered_ = false;
  flashChanged_ = false;
  limitFromFlash_ = false;
  attemptFailure_.clear();
  reason_.clear();
  refusal_.clear();
  // Nothing to program can never be a successful update.
  if (image_.ImageLength == 0) {
    reason_ = "there is no image to program";
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
  Clock &clock = chip_.Time();
  const uint64_t startUs = clock.NowUs();
  // Until the flash names its part, the longest limits of them all.
  uint64_t limitMs = WorstUpdateTimeLimitMs(image_.ImageLength, kAttempts);
  flash_.DeadlineUs = startUs + (limitMs - kFinishAllowanceMs) * 1000;
  session_.Begin();
  workers_.SetSilenceRecovery(&session_);

  bool verified = false;
  while (attempts_ < kAttempts) {
    if (attempts_ > 0 && !session_.Reconnect())
      break;
    ++attempts_;
    const AttemptEnd end = Attempt(attempts_ > 1, startUs, limitMs);
    if (end == AttemptEnd::Refused) {
      // Nothing was erased: the device is left as it was, out of ISP mode.
      --attempts_;                // the refusing attempt ran no step of its own
      static_cast<void>(Leave()); // a chip that stays in ISP mode is still unchanged
      chip_.Usb().Close();
      flash_.DeadlineUs = 0;
      flash_.IspFailed = true;
      return false;
    }
    verified = end == AttemptEnd::Verified;
    if (verified || end == AttemptEnd::Ended || PastDeadline())
      break;
    // A device that went away and does not come back gets its verdict now.
    if (Lost() && chip_.Usb().Loss() != DeviceLoss::StoppedAnswering &&
        (attempts_ == kAttempts || !session_.Reconnect()))
      break;
    RetryPause();
  }

  // Protecting and leaving have their own short waits; they are what the
  // deadline kept time back for.
  flash_.DeadlineUs = startUs + limitMs * 1000;
  bool protectedFlash = false;
  bool left = false;
  // A chip that never entered ISP mode passes nothing on to its flash; a
  // gone one hears nothing at all.
  if (ReadyForFinish()) {
    protectedFlash = entered_ && Protect();
    left = Leave();
  }
  const bool success = verified && protectedFlash && left;
  if (!success)
    reason_ = FailureText(verified, protectedFlash, limitMs);
  chip_.Usb().Close();
  flash_.DeadlineUs = 0;
  // The update is done only when the chip will start the verified image
  // from a protected flash.
  flash_.IspFailed = !success;
  return success;
}

void OneButtonUpdate::RetryPause() {
  status_.ShowStatus("ISP Fail and retry", StatusTone::Retry);
  const std::string lost = LossReason();
  status_.AttemptFailed(attempts_, kAttempts,
                        !lost.empty()             ? lost
                        : attemptFailure_.empty() ? std::string("the attempt did not succeed")
                                                  : attemptFailure_);
  status_.ProcessMessages();
  // The red text stays for a second; the window keeps turning meanwhile.
  for (uint32_t paused = 0; paused < kRetryPauseMs; paused += kRetryPauseStepMs) {
    chip_.Time().SleepMs(kRetryPauseStepMs);
    status_.ProcessMessages();
  }
  Show("ISP Fail and retry");
}

std::optional<std::array<uint8_t, 3>> OneButtonUpdate::IdentifySteadily() {
  for (;;) {
    if (workers_.IdentifyFlash())
      return flash_.FlashId;
    // An unread identifier counts as all zeros, never as the one read before.
    if (!Lost() || !workers_.Resume())
      return std::nullopt;
  }
}

OneButtonUpdate::AttemptEnd OneButtonUpdate::FailedStep(const std::string &why) {
  attemptFailure_ = why;
  return session_.Lost() == UpdateSession::Loss::None ? AttemptEnd::Failed : AttemptEnd::Ended;
}

OneButtonUpdate::AttemptEnd OneButtonUpdate::Attempt(bool again, uint64_t startUs, uint64_t &limitMs) {
  attemptFailure_.clear();
  // What this attempt proves for its erase, and nothing an earlier one did.
  AttemptEvidence evidence;
  entered_ = session_.EnterIsp(again);
  evidence.flashId = IdentifySteadily();
  if (!entered_) {
    // Only a chip that answered can be said to have refused.
    if (!Lost())
      Show(kIspEntryFail);
    return FailedStep(kReasonNoIspMode);
  }
  // Another flash than an earlier attempt's, twice: another device, which
  // is not touched at all.
  if (evidence.flashId && IdentifierAnswered(*evidence.flashId) && session_.PinnedFlash() &&
      *evidence.flashId != *session_.PinnedFlash()) {
    evidence.flashIdAgain = IdentifySteadily();
    if (evidence.flashIdAgain == evidence.flashId) {
      session_.NoteChanged(ProveEraseClearance(evidence, image_.ImageLength, session_.PinnedFlash()).reason);
      return AttemptEnd::Ended;
    }
    evidence.flashId = evidence.flashIdAgain;
    evidence.flashIdAgain.reset();
  }
  // Without the flash's identifier nothing can be erased in this attempt,
  // and its status register is left as it is.
  if (!evidence.flashId || !IdentifierAnswered(*evidence.flashId))
    return FailedStep(ProveEraseClearance(evidence, image_.ImageLength, session_.PinnedFlash()).reason);
  // An image larger than the flash would wrap onto its start: the device is
  // left as it was, before its status register is even touched, on an
  // identifier the flash gave twice.
  if (evidence.flashId && IdentifierAnswered(*evidence.flashId) &&
      !ImageCapacityRefusal(image_.ImageLength, *evidence.flashId).empty()) {
    evidence.flashIdAgain = IdentifySteadily();
    const ClearanceCheck check = ProveEraseClearance(evidence, image_.ImageLength, session_.PinnedFlash());
    if (check.outcome == ClearanceCheck::Outcome::DeviceChanged) {
      session_.NoteChanged(check.reason);
      return AttemptEnd::Ended;
    }
    if (check.outcome != ClearanceCheck::Outcome::DoesNotFit)
      return FailedStep(check.reason);
    if (flashChanged_)
      return FailedStep(check.reason);
    refusal_ = check.reason;
    return AttemptEnd::Refused;
  }

  Show("Clear Status register");
  evidence.idleStatus = workers_.ClearStatusRegister();
  evidence.flashIdAgain = IdentifySteadily();
  ClearanceCheck check = ProveEraseClearance(evidence, image_.ImageLength, session_.PinnedFlash());
  switch (check.outcome) {
  case ClearanceCheck::Outcome::Cleared:
    break;
  case ClearanceCheck::Outcome::Missing:
    return FailedStep(check.reason);
  case ClearanceCheck::Outcome::DoesNotFit:
    if (flashChanged_)
      return FailedStep(check.reason);
    refusal_ = check.reason;
    return AttemptEnd::Refused;
  case ClearanceCheck::Outcome::DeviceChanged:
    session_.NoteChanged(check.reason);
    return AttemptEnd::Ended;
  }
  const std::array<uint8_t, 3> &flashId = check.clearance->FlashId();
  session_.PinFlash(flashId);
  // The identifier now names the part, and with it the time it may take.
  if (!limitFromFlash_) {
    limitFromFlash_ = true;
    limitMs = UpdateTimeLimitMs(flashId, image_.ImageLength, kAttempts);
    flash_.DeadlineUs = startUs + (limitMs - kFinishAllowanceMs) * 1000;
  }

  if (const auto failed = EraseWithin(*check.clearance))
    return *failed;

  const uint32_t end = image_.ImageLength;
  Show("Start Blanking Check");
  if (!workers_.BlankCheckRange(0, end))
    return FailedStep(workers_.LastFailure().empty() ? "the blank check failed" : workers_.LastFailure());
  Show("Blanking Success");

  Show("Start Programming");
  if (!workers_.ProgramRange(0, end, 0)) {
    const std::string why = workers_.LastFailure().empty() ? "programming failed" : workers_.LastFailure();
    if (workers_.StartWritten())
      UnbootFlash();
    return FailedStep(why);
  }
  Show("Programming Success");

  Show("Start Verifying Check");
  if (!workers_.VerifyRange(0, end, 0)) {
    const std::string why = workers_.LastFailure().empty() ? "the verify failed" : workers_.LastFailure();
    UnbootFlash();
    return FailedStep(why);
  }
  Show("Verifying Success");
  return AttemptEnd::Verified;
}

void OneButtonUpdate::UnbootFlash() {
  // A chip that can still be reached; one that is gone keeps what it has.
  if (!workers_.Resume())
    return;
  static_cast<void>(workers_.EraseStartSector()); // the next attempt's chip erase does it again, if there is one
}

std::optional<OneButtonUpdate::AttemptEnd> OneButtonUpdate::EraseWithin(const EraseClearance &clearance) {
  Show("Flash Erase All ");
  for (;;) {
    const FlashWorkers::EraseSent sent = workers_.SendChipErase(clearance);
    flashChanged_ = flashChanged_ || sent != FlashWorkers::EraseSent::NotEnabled;
    if (sent == FlashWorkers::EraseSent::Sent)
      break;
    // A silent device is asked again once it answers; one that refused
    // the erase has not erased.
    if (!Lost()) {
      if (sent == FlashWorkers::EraseSent::NotEnabled)
        return FailedStep("the flash did not take the write enable before the chip erase");
      Show("Erase Flash Fail");
      return FailedStep("the chip erase did not go through");
    }
    if (!workers_.Resume())
      return FailedStep("the chip erase did not go through");
  }
  const FlashWorkers::EraseEnd erased = workers_.WaitForEraseEnd([&](int poll, uint8_t) {
    Show(EraseProgressText("Flash Erase All ", poll));
    status_.ProcessMessages();
  });
  switch (erased) {
  case FlashWorkers::EraseEnd::Finished:
    break;
  case FlashWorkers::EraseEnd::StillBusy:
    Show("Erase Flash Fail");
    return FailedStep("the flash was still busy when the chip erase should have finished");
  case FlashWorkers::EraseEnd::Unreadable:
    return FailedStep("the flash's status could not be read after the chip erase");
  case FlashWorkers::EraseEnd::Halted:
    return FailedStep("the chip erase was not waited for to its end");
  }
  // The design opens the device again here; a device that cannot be opened
  // is gone, or reached again as itself.
  if (!chip_.Usb().Open() && !session_.Reconnect())
    return FailedStep("the device could not be opened after the chip erase");
  return std::nullopt;
}

bool OneButtonUpdate::ReadyForFinish() {
  if (session_.Lost() != UpdateSession::Loss::None)
    return false;
  if (!Lost())
    return true;
  if (chip_.Usb().Loss() == DeviceLoss::StoppedAnswering)
    return workers_.Resume();
  // Gone: back within a moment, as a re-enumerated device is, or not at all.
  if (!session_.Reconnect())
    return false;
  entered_ = session_.EnterIsp(true);
  return true;
}

bool OneButtonUpdate::PastDeadline() const {
  return flash_.DeadlineUs != 0 && chip_.Time().NowUs() >= flash_.DeadlineUs;
}

bool OneButtonUpdate::Protect() {
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (!workers_.Resume())
      return false;
    const auto status = workers_.ProtectFlash();
    // A flash that never finished the write will not finish another; a
    // device that did not answer the wait is asked again.
    if (!status) {
      if (Lost() || chip_.UnansweredSinceUs())
        continue;
      return false;
    }
    const uint8_t protectBits = flash_.Part.protectCheckBits;
    if ((*status & protectBits) == protectBits)
      return true;
  }
  return false;
}

bool OneButtonUpdate::Leave() {
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (!workers_.Resume())
      return false;
    if (chip_.SetIspMode(false))
      return true;
  }
  return false;
}

std::string OneButtonUpdate::LossReason() const {
  if (std::string lost = session_.LossReason(); !lost.empty())
    return lost;
  switch (chip_.Usb().Loss()) {
  case DeviceLoss::Unplugged:
    return kReasonDisconnected;
  case DeviceLoss::StoppedAnswering:
    return kReasonStoppedAnswering;
  case DeviceLoss::None:
    break;
  }
  return {};
}

std::string OneButtonUpdate::FailureText(bool verified, bool protectedFlash, uint64_t limitMs) const {
  const std::string lost = LossReason();
  if (verified) {
    const std::string lead = "the new firmware was written and verified, but ";
    if (!protectedFlash)
      return lead + "the flash could not be protected" + (lost.empty() ? "" : ": " + lost);
    return lead + "the device did not leave ISP mode: unplug it and plug it in again";
  }
  if (!lost.empty())
    return lost;
  if (PastDeadline())
    return "the update ran past its time limit of " + std::to_string((limitMs + 999) / 1000) + " s";
  if (!attemptFailure_.empty())
    return attemptFailure_;
  return entered_ ? "the update did not succeed" : kReasonNoIspMode;
}

} // namespace orvane
