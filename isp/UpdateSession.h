#pragma once

#include "isp/FlashEvents.h"
#include "isp/FlashPolicy.h"
#include "isp/SilenceRecovery.h"
#include "usb/DevicePin.h"
#include "usb/DeviceSession.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace orvane {

// The one device an update works on, for the length of one update. It is
// pinned when the update opens it (where it sits, its serial number) and,
// once its flash has answered, to that flash's identifier; whenever it has
// to be opened again it is opened only as that device and under its lock,
// put back into ISP mode and asked for its identifier, and anything else
// ends the update instead. The device session under it holds the lock and
// closes the device however the update ends; a lost device is given up,
// so nothing more reaches whatever sits in its place.
//
// A device that went away (unplugged, its socket removed) is gone for
// good unless it is back within kGoneWindowMs, as a re-enumerated device
// is. One that is still attached but stopped answering is opened again
// and again until kSilenceLimitMs after its first unanswered transfer.
class UpdateSession final : public SilenceRecovery {
public:
  static constexpr uint32_t kGoneWindowMs = 1000;
  static constexpr uint32_t kReopenPollMs = 100;

  enum class Loss {
    None,
    Gone,    // the device left and did not come back
    Silent,  // the device stopped answering for longer than the limit
    Changed, // what answered is not the device the update started on
    Busy,    // another program took the device
  };

  // events lets the window turn while the session waits for its device.
  UpdateSession(ChipCommands &chip, FlashEvents &events) : chip_(chip), events_(events), device_(chip) {}

  // Takes the device's lock, opens the device the search found and pins it.
  [[nodiscard]] DeviceResult Begin();
  // Opens the pinned device again, between attempts and before the flash
  // is protected; false when it is lost for good (Lost() says how).
  [[nodiscard]] bool Reconnect();
  // The same device on a fresh handle, or, when that cannot be opened, the
  // pinned device wherever it is now.
  [[nodiscard]] bool Reopen();
  // Puts the chip into ISP mode; again: after an attempt that may have
  // left the flash in the middle of a word program, which takes no other
  // instruction until a write disable. A silent device is brought back.
  [[nodiscard]] bool EnterIsp(bool again);
  // Whether the chip took the last EnterIsp.
  bool InIspMode() const { return inIspMode_; }
  // Asks the chip to leave ISP mode.
  [[nodiscard]] bool LeaveIsp() { return static_cast<bool>(device_.LeaveIsp()); }
  // The update is over: the device is closed and its lock given back.
  void End() { device_.End(); }
  // The first identifier the flash proved; later answers must match it.
  void PinFlash(const std::array<uint8_t, 3> &flashId);
  const std::optional<std::array<uint8_t, 3>> &PinnedFlash() const { return pinnedFlash_; }
  // Ends the update for what the caller found: another flash answered.
  void NoteChanged(std::string why);

  bool Recover() override;

  Loss Lost() const { return loss_; }
  // Why the device is lost, in words; empty while it is not.
  std::string LossReason() const;

private:
  enum class Reached { Reopened, Lost };
  // Opens the pinned device again, waiting while it does not answer (up to
  // the silence limit) or is away (up to the gone window).
  Reached Reach();
  // In ISP mode again, with the same flash behind it.
  bool Restore();
  // The write disable that ends a word program the flash may still be in;
  // the identifier read after it fails by itself when it did not go through.
  void EndWordProgram();
  void Lose(Loss loss, std::string why = {});
  uint64_t SilenceEndUs() const;

  ChipCommands &chip_;
  FlashEvents &events_;
  DeviceSession device_;
  std::optional<DevicePin> pin_;
  std::optional<std::array<uint8_t, 3>> pinnedFlash_;
  bool inIspMode_ = false;
  Loss loss_ = Loss::None;
  std::string lossText_;
};

} // namespace orvane
