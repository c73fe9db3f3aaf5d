#pragma once

#include "isp/FlashPolicy.h"
#include "isp/FlashState.h"
#include "isp/ImageRecord.h"
#include "isp/UpdateEvents.h"
#include "usb/ChipCommands.h"

#include <cstdint>
#include <string>

namespace orvane {

inline constexpr const char *kUpdateQuestion =
    "Firmware Update is a critical operation. Please make sure the power stays on and do not disconnect the device "
    "before the update is complete. Would you like to proceed?";
inline constexpr const char *kUpdateSuccess = "Firmware update success!";
inline constexpr const char *kUpdateFail = "Firmware update Fail!";
inline constexpr const char *kUpdateAbort = "Abort Firmware update process";

// Why an update failed, when it was not the flash steps themselves.
inline constexpr const char *kReasonDisconnected = "the device was disconnected";
inline constexpr const char *kReasonStoppedAnswering = "the device stopped answering";
inline constexpr const char *kReasonNoIspMode = "the chip did not enter ISP mode";
inline constexpr const char *kDeviceNotChanged = "the device was not changed";

// How an update ended.
struct UpdateVerdict {
  // The last attempt verified the whole image, the flash reads back
  // protected and the chip took the request to leave ISP mode.
  bool success = false;
  // Attempts run; a refusal runs none.
  int attempts = 0;
  // Why it failed: a failed step ("Verifying Fail at 0x001000"), the device
  // went away or stopped answering, the chip never entered ISP mode, the
  // time limit passed. Empty after a success and a refusal.
  std::string reason;
  // Why the update was refused before anything was erased (an image of
  // only 0xFF bytes, an image larger than the flash); empty otherwise.
  std::string refusal;
  // A chip erase was sent, so the flash may have changed.
  bool flashChanged = false;
  // The chip took the request to leave ISP mode at the end.
  bool leftIspMode = false;
};

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
// deadline from the image size and the part. What happens on the way is
// told to events.
class OneButtonUpdate {
public:
  static constexpr uint32_t kRetryPauseStepMs = 50;
  // Kept back from the deadline for protecting the flash and leaving ISP
  // mode, a wait for a silent device among them.
  static constexpr uint32_t kFinishAllowanceMs = 5000 + kSilenceLimitMs;

  OneButtonUpdate(ChipCommands &chip, const ImageRecord &image, FlashState &flash, UpdateEvents &events)
      : chip_(chip), image_(image), flash_(flash), events_(events) {}

  UpdateVerdict Run();

private:
  ChipCommands &chip_;
  const ImageRecord &image_;
  FlashState &flash_;
  UpdateEvents &events_;
};

} // namespace orvane
