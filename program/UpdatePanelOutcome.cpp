#include "program/UpdatePanelOutcome.h"

#include "program/ConnectionMonitor.h"

namespace orvane {

PanelOutcome UpdateOutcome(const UpdateVerdict &verdict) {
  if (verdict.success)
    return {kUpdateSuccess, StatusTone::Success, {}};
  // A refusal is a failed update too: the file cannot go onto this device.
  if (!verdict.refusal.empty())
    return {kUpdateFail, StatusTone::Failure, verdict.refusal + "."};
  const std::string reason = ReasonForUser(verdict.reason, verdict.flashChanged);
  return {kUpdateFail, StatusTone::Failure, reason.empty() ? std::string(kNoFailureReason) : reason};
}

PanelOutcome LockRefusalOutcome(const DeviceError &error) {
  switch (error.kind) {
  case DeviceErrorKind::Busy:
    // Not a verdict: the step size keeps the holder's process id whole.
    return {error.text, StatusTone::Retry, kDeviceBusyReason};
  case DeviceErrorKind::NoDevice:
  case DeviceErrorKind::Gone:
    return DeviceGoneOutcome();
  case DeviceErrorKind::None:
  case DeviceErrorKind::AccessDenied:
  case DeviceErrorKind::LockFailed:
  case DeviceErrorKind::Stalled:
  case DeviceErrorKind::Failed:
    break;
  }
  return {kDeviceLockNotTaken, StatusTone::Retry, error.text};
}

PanelOutcome DeviceGoneOutcome() {
  return {kNoDeviceCaption, StatusTone::Retry, {}};
}

} // namespace orvane
