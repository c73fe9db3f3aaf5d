#include "isp/OneButtonUpdate.h"

#include "isp/EraseClearance.h"
#include "isp/ErasedImage.h"
#include "isp/FlashCapacity.h"
#include "isp/FlashErase.h"
#include "isp/FlashParts.h"
#include "isp/FlashTimeLimits.h"
#include "isp/FlashWorkers.h"
#include "isp/UpdateSession.h"

#include <optional>

namespace orvane {

std::string ReasonForUser(const std::string &reason, bool flashChanged) {
  if (flashChanged)
    return reason;
  return reason.empty() ? std::string(kDeviceNotChanged) : reason + "; " + kDeviceNotChanged;
}

namespace {

// One run of the update: the device session, the workers on it and what
// the run has found so far, for as long as the run lasts.
class UpdateRun {
public:
  UpdateRun(ChipCommands &chip, const ImageRecord &image, FlashState &flash, UpdateEvents &events)
      : chip_(chip), image_(image), flash_(flash), events_(events), session_(chip, events),
        workers_(chip, image, flash, events) {
    workers_.SetSilenceRecovery(&session_);
  }

  UpdateVerdict Run();

private:
  // How an attempt ended, and why when it did not verify the image.
  struct Attempted {
    enum class End {
      Verified,
      Failed,  // the next attempt may do better
      Refused, // the image cannot go onto this flash: nothing was erased
      Ended,   // the device is lost for good
    };
    End end;
    std::string why;
  };

  Attempted Attempt(bool again, bool reached);
  // Reads the identifier, bringing a silent device back for it.
  std::optional<std::array<uint8_t, 3>> IdentifySteadily();
  // The chip erase and its wait, then the device on a fresh handle;
  // nullopt when the flash is erased.
  std::optional<Attempted> Erase(const EraseClearance &clearance);
  Attempted FailedStep(std::string why) const;
  // After an image that did not program or verify whole: the start of the
  // flash is erased again, so the chip does not start what is there.
  void UnbootFlash();
  void RetryPause();
  enum class Finish {
    Unreachable, // the device is lost: nothing more is sent
    Ready,       // the device answers as it is
    Reconnected, // the device came back on a handle of its own, out of ISP mode
  };
  Finish ReadyForFinish();
  bool Protect();
  bool Leave();
  bool Lost() const { return chip_.Usb().Loss() != DeviceLoss::None; }
  bool PastDeadline() const;
  void SetDeadline(uint64_t limitMs, uint64_t keptBackMs);
  // Why the device could not be worked on to the end; empty when it could.
  std::string LossReason() const;
  std::string FailureText(bool verified, bool protectedFlash, const std::string &attemptFailure) const;
  UpdateVerdict Refused(std::string refusal);

  ChipCommands &chip_;
  const ImageRecord &image_;
  FlashState &flash_;
  UpdateEvents &events_;
  UpdateSession session_;
  FlashWorkers workers_;
  UpdateVerdict verdict_;
  uint64_t startUs_ = 0;
  // Until the flash names its part, the longest limits of them all.
  uint64_t limitMs_ = 0;
};

UpdateVerdict UpdateRun::Run() {
  // Nothing to program can never be a successful update.
  if (image_.ImageLength == 0) {
    verdict_.reason = "there is no image to program";
    flash_.IspFailed = true;
    return verdict_;
  }
  if (HoldsOnlyErasedBytes(image_.ImageBuffer, image_.ImageLength)) {
    verdict_.refusal = std::string("The image was refused: ") + kErasedImageRefusal;
    flash_.IspFailed = true;
    return verdict_;
  }
  events_.StepBegun(UpdateStep::EnterIsp);
  events_.ProcessMessages();
  startUs_ = chip_.Time().NowUs();
  SetDeadline(WorstUpdateTimeLimitMs(image_.ImageLength, kUpdateAttempts), OneButtonUpdate::kFinishAllowanceMs);
  // A device that cannot be opened now fails the first attempt at its ISP
  // entry, and the next attempt opens it again as the pinned device.
  bool reached = static_cast<bool>(session_.Begin());

  bool verified = false;
  std::string attemptFailure;
  while (verdict_.attempts < kUpdateAttempts) {
    if (verdict_.attempts > 0) {
      reached = session_.Reconnect();
      if (!reached)
        break;
    }
    const int attempt = ++verdict_.attempts;
    events_.AttemptBegun(attempt, kUpdateAttempts);
    Attempted attempted = Attempt(attempt > 1, reached);
    if (attempted.end == Attempted::End::Refused) {
      --verdict_.attempts; // the refusing attempt ran no step of its own
      return Refused(std::move(attempted.why));
    }
    verified = attempted.end == Attempted::End::Verified;
    attemptFailure = std::move(attempted.why);
    if (verified)
      break;
    // A device that went away and does not come back gets its verdict now.
    const bool lastOne = attempted.end == Attempted::End::Ended || PastDeadline() ||
                         (Lost() && chip_.Usb().Loss() != DeviceLoss::StoppedAnswering &&
                          (attempt == kUpdateAttempts || !session_.Reconnect()));
    const std::string lost = LossReason();
    events_.AttemptFailed({attempt, kUpdateAttempts,
                           !lost.empty()            ? lost
                           : attemptFailure.empty() ? std::string("the attempt did not succeed")
                                                    : attemptFailure,
                           !lastOne});
    if (lastOne)
      break;
    RetryPause();
  }

  // Protecting and leaving have their own short waits; they are what the
  // deadline kept time back for.
  SetDeadline(limitMs_, 0);
  bool protectedFlash = false;
  // A chip that never entered ISP mode passes nothing on to its flash; a
  // gone one hears nothing at all.
  if (const Finish finish = ReadyForFinish(); finish != Finish::Unreachable) {
    const bool inIspMode = finish == Finish::Reconnected ? session_.EnterIsp(true) : session_.InIspMode();
    protectedFlash = inIspMode && Protect();
    verdict_.leftIspMode = Leave();
  }
  session_.End();
  verdict_.success = verified && protectedFlash && verdict_.leftIspMode;
  if (!verdict_.success)
    verdict_.reason = FailureText(verified, protectedFlash, attemptFailure);
  flash_.DeadlineUs = 0;
  // The update is done only when the chip will start the verified image
  // from a protected flash.
  flash_.IspFailed = !verdict_.success;
  return verdict_;
}

UpdateVerdict UpdateRun::Refused(std::string refusal) {
  // Nothing was erased: the device is left as it was, out of ISP mode; a
  // chip that stays in ISP mode is still unchanged, and the refusal stands.
  verdict_.refusal = std::move(refusal);
  verdict_.leftIspMode = Leave();
  session_.End();
  flash_.DeadlineUs = 0;
  flash_.IspFailed = true;
  return verdict_;
}

void UpdateRun::SetDeadline(uint64_t limitMs, uint64_t keptBackMs) {
  limitMs_ = limitMs;
  flash_.DeadlineUs = startUs_ + (limitMs - keptBackMs) * 1000;
}

void UpdateRun::RetryPause() {
  events_.ProcessMessages();
  // The red notice stays for a second; the window keeps turning meanwhile.
  for (uint32_t paused = 0; paused < kRetryPauseMs; paused += OneButtonUpdate::kRetryPauseStepMs) {
    chip_.Time().SleepMs(OneButtonUpdate::kRetryPauseStepMs);
    events_.ProcessMessages();
  }
  events_.StepBegun(UpdateStep::Retry);
}

std::optional<std::array<uint8_t, 3>> UpdateRun::IdentifySteadily() {
  for (;;) {
    if (workers_.IdentifyFlash())
      return flash_.FlashId;
    // An unread identifier counts as all zeros, never as the one read before.
    if (!Lost() || !workers_.Resume())
      return std::nullopt;
  }
}

UpdateRun::Attempted UpdateRun::FailedStep(std::string why) const {
  return {session_.Lost() == UpdateSession::Loss::None ? Attempted::End::Failed : Attempted::End::Ended,
          std::move(why)};
}

UpdateRun::Attempted UpdateRun::Attempt(bool again, bool reached) {
  // What this attempt proves for its erase, and nothing an earlier one did.
  AttemptEvidence evidence;
  const bool entered = reached && session_.EnterIsp(again);
  evidence.flashId = IdentifySteadily();
  if (!entered) {
    // Only a chip that answered can be said to have refused.
    if (!Lost())
      events_.StepBegun(UpdateStep::IspEntryFailed);
    return FailedStep(kReasonNoIspMode);
  }
  // Another flash than an earlier attempt's, twice: another device, which
  // is not touched at all.
  if (evidence.flashId && IdentifierAnswered(*evidence.flashId) && session_.PinnedFlash() &&
      *evidence.flashId != *session_.PinnedFlash()) {
    evidence.flashIdAgain = IdentifySteadily();
    if (evidence.flashIdAgain == evidence.flashId) {
      session_.NoteChanged(ProveEraseClearance(evidence, image_.ImageLength, session_.PinnedFlash()).reason);
      return {Attempted::End::Ended, {}};
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
  if (!ImageCapacityRefusal(image_.ImageLength, *evidence.flashId).empty()) {
    evidence.flashIdAgain = IdentifySteadily();
    ClearanceCheck check = ProveEraseClearance(evidence, image_.ImageLength, session_.PinnedFlash());
    if (check.outcome == ClearanceCheck::Outcome::DeviceChanged) {
      session_.NoteChanged(check.reason);
      return {Attempted::End::Ended, {}};
    }
    if (check.outcome != ClearanceCheck::Outcome::DoesNotFit || verdict_.flashChanged)
      return FailedStep(std::move(check.reason));
    return {Attempted::End::Refused, std::move(check.reason)};
  }

  events_.StepBegun(UpdateStep::ClearStatus);
  evidence.idleStatus = workers_.ClearStatusRegister();
  evidence.flashIdAgain = IdentifySteadily();
  ClearanceCheck check = ProveEraseClearance(evidence, image_.ImageLength, session_.PinnedFlash());
  switch (check.outcome) {
  case ClearanceCheck::Outcome::Cleared:
    break;
  case ClearanceCheck::Outcome::Missing:
    return FailedStep(std::move(check.reason));
  case ClearanceCheck::Outcome::DoesNotFit:
    if (verdict_.flashChanged)
      return FailedStep(std::move(check.reason));
    return {Attempted::End::Refused, std::move(check.reason)};
  case ClearanceCheck::Outcome::DeviceChanged:
    session_.NoteChanged(check.reason);
    return {Attempted::End::Ended, {}};
  }
  const std::array<uint8_t, 3> &flashId = check.clearance->FlashId();
  // The first proven identifier names the part, and with it the time the
  // update may take.
  const bool firstProof = !session_.PinnedFlash();
  session_.PinFlash(flashId);
  if (firstProof)
    SetDeadline(UpdateTimeLimitMs(flashId, image_.ImageLength, kUpdateAttempts), OneButtonUpdate::kFinishAllowanceMs);

  if (auto failed = Erase(*check.clearance))
    return std::move(*failed);

  const uint32_t end = image_.ImageLength;
  events_.StepBegun(UpdateStep::BlankCheck);
  if (!workers_.BlankCheckRange(0, end))
    return FailedStep(workers_.LastFailure().empty() ? "the blank check failed" : workers_.LastFailure());
  events_.StepBegun(UpdateStep::BlankCheckPassed);

  events_.StepBegun(UpdateStep::Program);
  if (!workers_.ProgramRange(0, end, 0)) {
    std::string why = workers_.LastFailure().empty() ? "programming failed" : workers_.LastFailure();
    if (workers_.StartWritten())
      UnbootFlash();
    return FailedStep(std::move(why));
  }
  events_.StepBegun(UpdateStep::ProgramPassed);

  events_.StepBegun(UpdateStep::Verify);
  if (!workers_.VerifyRange(0, end, 0)) {
    std::string why = workers_.LastFailure().empty() ? "the verify failed" : workers_.LastFailure();
    UnbootFlash();
    return FailedStep(std::move(why));
  }
  events_.StepBegun(UpdateStep::VerifyPassed);
  return {Attempted::End::Verified, {}};
}

void UpdateRun::UnbootFlash() {
  // A chip that can still be reached; one that is gone keeps what it has.
  if (!workers_.Resume())
    return;
  static_cast<void>(workers_.EraseStartSector()); // the next attempt's chip erase does it again, if there is one
}

std::optional<UpdateRun::Attempted> UpdateRun::Erase(const EraseClearance &clearance) {
  events_.StepBegun(UpdateStep::Erase);
  const ChipEraseOutcome erased = FlashErase(chip_, workers_).EraseChip(clearance, [&](int poll) {
    events_.EraseWaited(poll);
    events_.ProcessMessages();
  });
  verdict_.flashChanged = verdict_.flashChanged || erased.mayHaveErased;
  switch (erased.end) {
  case ChipEraseEnd::Erased:
    break;
  case ChipEraseEnd::NotEnabled:
    return FailedStep("the flash did not take the write enable before the chip erase");
  case ChipEraseEnd::Refused:
    events_.StepBegun(UpdateStep::EraseFailed);
    return FailedStep("the chip erase did not go through");
  case ChipEraseEnd::Unsent:
    return FailedStep("the chip erase did not go through");
  case ChipEraseEnd::StillBusy:
    events_.StepBegun(UpdateStep::EraseFailed);
    return FailedStep("the flash was still busy when the chip erase should have finished");
  case ChipEraseEnd::Unreadable:
    return FailedStep("the flash's status could not be read after the chip erase");
  case ChipEraseEnd::Halted:
    return FailedStep("the chip erase was not waited for to its end");
  }
  // The walks after the erase start on a handle of their own: whatever the
  // long wait did to the old one stays with it. A device that cannot be
  // opened is gone, or reached again as itself.
  if (!session_.Reopen())
    return FailedStep("the device could not be opened after the chip erase");
  return std::nullopt;
}

UpdateRun::Finish UpdateRun::ReadyForFinish() {
  if (session_.Lost() != UpdateSession::Loss::None)
    return Finish::Unreachable;
  if (!Lost())
    return Finish::Ready;
  if (chip_.Usb().Loss() == DeviceLoss::StoppedAnswering)
    return workers_.Resume() ? Finish::Ready : Finish::Unreachable;
  // Gone: back within a moment, as a re-enumerated device is, or not at all.
  return session_.Reconnect() ? Finish::Reconnected : Finish::Unreachable;
}

bool UpdateRun::PastDeadline() const {
  return flash_.DeadlineUs != 0 && chip_.Time().NowUs() >= flash_.DeadlineUs;
}

bool UpdateRun::Protect() {
  for (int attempt = 0; attempt < kUpdateAttempts; ++attempt) {
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

bool UpdateRun::Leave() {
  for (int attempt = 0; attempt < kUpdateAttempts; ++attempt) {
    if (!workers_.Resume())
      return false;
    if (session_.LeaveIsp())
      return true;
  }
  return false;
}

std::string UpdateRun::LossReason() const {
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

std::string UpdateRun::FailureText(bool verified, bool protectedFlash, const std::string &attemptFailure) const {
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
    return "the update ran past its time limit of " + std::to_string((limitMs_ + 999) / 1000) + " s";
  if (!attemptFailure.empty())
    return attemptFailure;
  return session_.InIspMode() ? "the update did not succeed" : kReasonNoIspMode;
}

} // namespace

UpdateVerdict OneButtonUpdate::Run() {
  return UpdateRun(chip_, image_, flash_, events_).Run();
}

} // namespace orvane
