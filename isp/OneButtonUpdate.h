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

// The whole update after the user said yes: enter ISP mode, choose how to
// program from the flash identifier, up to three attempts of status clear,
// chip erase, blank check, program and verify over the whole image, then
// protect the flash, leave ISP mode and close the device. A retry starts
// the chip over as at the first attempt; protecting and leaving are tried
// again when they did not take.
class OneButtonUpdate {
public:
  static constexpr int kAttempts = 3;
  static constexpr uint32_t kRetryPauseMs = 1000;
  static constexpr uint32_t kRetryPauseStepMs = 50;

  OneButtonUpdate(ChipCommands &chip, const ImageRecord &image, FlashState &flash, IspView &ispView,
                  UpdateStatusView &status)
      : chip_(chip), image_(image), flash_(flash), workers_(chip, image, flash, ispView), status_(status) {}

  // True only when the last attempt verified the whole image, the flash
  // reads back protected and the chip took the request to leave ISP mode.
  bool Run();
  int AttemptsRun() const { return attempts_; }
  // Why the last Run refused the update before erasing anything (an image
  // of only 0xFF bytes, an image larger than the flash); empty otherwise.
  const std::string &Refusal() const { return refusal_; }

private:
  void EnterIspAndIdentify();
  void StartOver();
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
  std::string refusal_;
};

} // namespace orvane
