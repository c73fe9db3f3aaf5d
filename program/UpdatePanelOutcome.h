#pragma once

#include "isp/OneButtonUpdate.h"
#include "isp/UpdateStatusView.h"
#include "usb/DeviceError.h"

#include <string>

namespace orvane {

inline constexpr const char *kDeviceBusyReason =
    "another program is updating this device; Start becomes available when it has finished";
inline constexpr const char *kDeviceLockNotTaken = "The device's lock cannot be taken";
inline constexpr const char *kNoFailureReason = "the update did not succeed";

// What the update panel shows once Start has done what it could: the
// status line (a verdict, or why nothing was started) and, below it, the
// reason in a line of its own. An empty reason leaves that line empty.
struct PanelOutcome {
  std::string status;
  StatusTone tone = StatusTone::Normal;
  std::string reason;

  bool operator==(const PanelOutcome &) const = default;
};

// An update that ran: its verdict, and below it a refusal, or why it
// failed as the user reads it (ReasonForUser).
PanelOutcome UpdateOutcome(const UpdateVerdict &verdict);

// Start found the device's lock taken or untakeable: nothing was sent.
PanelOutcome LockRefusalOutcome(const DeviceError &error);

// The device went away while the question was open: nothing was sent.
PanelOutcome DeviceGoneOutcome();

} // namespace orvane
