#pragma once

#include "isp/FlashWorkers.h"
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

// The whole update after the user said yes: enter ISP mode, choose how to
// program from the flash identifier, up to three attempts of status clear,
// chip erase, blank check, program and verify over the whole image, then
// protect the flash, leave ISP mode and close the device. A retry starts
// over for real: it opens the device again, enters ISP mode and reads the
// identifier again; protecting and leaving are tried again when they did
// not take. An attempt whose ISP entry failed sends nothing else. A device
// that went away and is not back within kReopenWindowMs ends the update at
// once, and the whole update ends by a deadline from the image size and
// the part.
class OneButtonUpdate {
public:
  static constexpr int kAttempts = 3;
  static constexpr uint32_t kRetryPauseMs = 1000;
  static constexpr uint32_t kRetryPauseStepMs = 50;
  static constexpr uint32_t kReopenWindowMs = 1000;
  static constexpr uint32_t kReopenPollMs = 100;
  // Kept back from the deadline for protecting the flash and leaving ISP mode.
  static constexpr uint32_t kFinishAllowanceMs = 5000;

  OneButtonUpdate(ChipCommands &chip, const ImageRecord &image, FlashState &flash, IspView &ispView,
                  UpdateStatusView &status)
      : chip_(chip), image_(image), flash_(flash), workers_(chip, image, flash, ispView), status_(status) {}

  // True only when the last attempt verified the whole image, the flash
  // reads back protected and the chip took the request to leave ISP mode.
  bool Run();
  int AttemptsRun() const { return attempts_; }
  // Why the update failed beyond a failed flash step: the device went away
  // or stopped answering, the chip never entered ISP mode, the time limit
  // passed. Empty after a success and after ordinary step failures.
  const std::string &FailureReason() const { return reason_; }
  // Why the last Run refused the update before erasing anything (an image
  // of only 0xFF bytes, an image larger than the flash); empty otherwise.
  const std::string &Refusal() const { return refusal_; }

private:
  // False when the chip did not take the request to enter ISP mode.
  bool EnterIspAndIdentify();
  // Reopens the device and enters ISP mode again; false when the device did
  // not come back.
  bool StartOver();
  // Opens the device again, waiting up to kReopenWindowMs for it to return.
  bool ReopenDevice();
  bool PastDeadline() const;
  void NoteReason(bool entered, uint64_t limitMs);
  bool Attempt();
  bool Protect();
  bool Leave();
  void Show(const std::string &text) { status_.ShowStatus(text, StatusTone::Normal); }

  ChipCommands &chip_;
  const ImageRecord &image_;
  FlashState &flash_;
  FlashWorkers workers_;
  UpdateStatusView &status_;
  int attempts_ = 0;
  bool entered_ = false;
  std::string reason_;
  std::string refusal_;
};

} // namespace orvane
