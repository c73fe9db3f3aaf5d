#pragma once

#include "isp/FlashWorkers.h"
#include "isp/UpdateSession.h"
#include "isp/UpdateStatusView.h"

namespace orvane {

inline constexpr const char *kUpdateQuestion =
    "Firmware Update is a critical operation. Please make sure the power stays on and do not disconnect the device "
    "before the update is complete. Would you like to proceed?";
inline constexpr const char *kUpdateSuccess = "Firmware update success!";
inline constexpr const char *kUpdateFail = "Firmware update Fail!";
inline constexpr const char *kUpdateAbort = "Abort Firmware update process";
inline constexpr const char *kIspEntryFail = "Enter ISP Mode Fail";

// Why an update failed, when it was not the flash steps themselves.
inline constexpr const char *kReasonDisconnected = "the device was disconnected";
inline constexpr const char *kReasonStoppedAnswering = "the device stopped answering";
inline constexpr const char *kReasonNoIspMode = "the chip did not enter ISP mode";
inline constexpr const char *kDeviceNotChanged = "the device was not changed";

// A failure's reason as the user reads it: with the note that nothing on
// the device was changed, when nothing was.
std::string ReasonForUser(const std::string &reason, bool flashChanged);

// The whole update after the user said yes: enter ISP mode, up to three
// attempts, then protect the flash, leave ISP mode and close the device.
// Every attempt reads the flash identifier and the status register for
// itself and erases only on what it read (EraseClearance): an identifier
// that could not be read, a flash that never showed itself idle or an
// image larger than the flash stops that attempt before the erase, and an
// identifier other than an earlier attempt's ends the update. A retry
// starts over for real: it opens the device again (the same device: see
// UpdateSession), enters ISP mode and reads the identifier again;
// protecting and leaving are tried again when they did not take. A
// device that stops answering is waited for and the step goes on where it
// was; one that went away ends the update. The whole update ends by a
// deadline from the image size and the part.
class OneButtonUpdate {
public:
  static constexpr int kAttempts = 3;
  static constexpr uint32_t kRetryPauseMs = 1000;
  static constexpr uint32_t kRetryPauseStepMs = 50;
  // Kept back from the deadline for protecting the flash and leaving ISP
  // mode, a wait for a silent device among them.
  static constexpr uint32_t kFinishAllowanceMs = 5000 + UpdateSession::kSilenceLimitMs;

  OneButtonUpdate(ChipCommands &chip, const ImageRecord &image, FlashState &flash, IspView &ispView,
                  UpdateStatusView &status)
      : chip_(chip), image_(image), flash_(flash), workers_(chip, image, flash, ispView), status_(status),
        session_(chip, status) {}

  // True only when the last attempt verified the whole image, the flash
  // reads back protected and the chip took the request to leave ISP mode.
  bool Run();
  int AttemptsRun() const { return attempts_; }
  // Why the update failed: a failed step ("Verifying Fail at 0x001000"),
  // the device went away or stopped answering, the chip never entered ISP
  // mode, the time limit passed. Empty after a success and a refusal.
  const std::string &FailureReason() const { return reason_; }
  // Why the last Run refused the update before erasing anything (an image
  // of only 0xFF bytes, an image larger than the flash); empty otherwise.
  const std::string &Refusal() const { return refusal_; }
  // Whether a chip erase was sent, so that the flash may have changed.
  bool FlashChanged() const { return flashChanged_; }

private:
  enum class AttemptEnd {
    Verified,
    Failed,  // the next attempt may do better
    Refused, // the image cannot go onto this flash: nothing was erased
    Ended,   // the device is lost for good
  };

  AttemptEnd Attempt(bool again, uint64_t startUs, uint64_t &limitMs);
  // Reads the identifier, bringing a silent device back for it.
  std::optional<std::array<uint8_t, 3>> IdentifySteadily();
  // The chip erase and its wait; nullopt when the flash is erased.
  std::optional<AttemptEnd> EraseWithin(const EraseClearance &clearance);
  AttemptEnd FailedStep(const std::string &why);
  void RetryPause();
  // After an image that did not program or verify whole: the start of the
  // flash is erased again, so the chip does not start what is there.
  void UnbootFlash();
  bool ReadyForFinish();
  bool Protect();
  bool Leave();
  bool Lost() const { return chip_.Usb().Loss() != DeviceLoss::None; }
  bool PastDeadline() const;
  // Why the device could not be worked on to the end; empty when it could.
  std::string LossReason() const;
  std::string FailureText(bool verified, bool protectedFlash, uint64_t limitMs) const;
  void Show(const std::string &text) { status_.ShowStatus(text, StatusTone::Normal); }

  ChipCommands &chip_;
  const ImageRecord &image_;
  FlashState &flash_;
  FlashWorkers workers_;
  UpdateStatusView &status_;
  UpdateSession session_;
  int attempts_ = 0;
  bool entered_ = false;
  bool flashChanged_ = false;
  bool limitFromFlash_ = false;
  std::string attemptFailure_;
  std::string reason_;
  std::string refusal_;
};

} // namespace orvane
