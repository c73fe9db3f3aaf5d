#include "program/UpdatePanelOutcome.h"

#include "isp/OneButtonUpdate.h"
#include "program/ConnectionMonitor.h"

namespace orvane {

PanelOutcome UpdateOutcome(bool updated, const std::string &refusal, const std::string &failureReason,
                           const std::string &stepFailure) {
  if (updated)
    return {kUpdateSuccess, StatusTone::Success, {}};
  // A refusal is a failed update too: the file cannot go onto this device.
  if (!refusal.empty())
    return {kUpdateFail, StatusTone::Failure, refusal + "."};
  if (!failureReason.empty())
    return {kUpdateFail, StatusTone::Failure, failureReason};
  return {kUpdateFail, StatusTone::Failure, stepFailure.empty() ? kNoFailureReason : stepFailure};
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
