#include "usb/WindowsErrorReason.h"

namespace orvane {

namespace {

bool MeansGone(uint32_t code) {
  switch (code) {
  case win32::kFileNotFound:
  case win32::kPathNotFound:
  case win32::kDevNotExist:
  case win32::kNoSuchDevice:
  case win32::kDeviceNotConnected:
    return true;
  default:
    return false;
  }
}

// FormatMessage ends its text with a full stop and a line break; the
// reason goes inside a sentence of ours.
std::string SystemNote(uint32_t code, const std::string &systemText) {
  std::string text = systemText;
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ' || text.back() == '.'))
    text.pop_back();
  const std::string number = "error " + std::to_string(code);
  return " (" + (text.empty() ? number : text + ", " + number) + ")";
}

bool MeansDenied(uint32_t code) {
  return code == win32::kAccessDenied || code == win32::kSharingViolation;
}

bool MeansHandleLost(uint32_t code) {
  return MeansGone(code) || code == win32::kInvalidHandle;
}

// What the USB drivers report for a stalled control transfer.
bool MeansStalled(uint32_t code) {
  return code == win32::kGenFailure;
}

std::string OpenReason(uint32_t code, const std::string &path) {
  if (MeansDenied(code))
    return "permission denied on USB device " + path;
  if (MeansGone(code))
    return "USB device " + path + " is gone";
  return "cannot open USB device " + path;
}

std::string IoControlReason(uint32_t code) {
  if (MeansHandleLost(code))
    return "the device is gone";
  if (MeansStalled(code))
    return "the device rejected the request";
  switch (code) {
  case win32::kInvalidFunction:
  case win32::kNotSupported:
  case win32::kNotFound:
    return "the driver does not know this request";
  case win32::kInvalidParameter:
  case win32::kBadLength:
  case win32::kInsufficientBuffer:
    return "the driver refused the request block";
  case win32::kSemTimeout:
  case win32::kTimeout:
  case win32::kOperationAborted:
    return "the device did not answer in time";
  default:
    return "the transfer failed";
  }
}

} // namespace

std::string WindowsErrorReason(WindowsDeviceCall call, uint32_t code, const std::string &systemText,
                               const std::string &path) {
  const std::string reason = call == WindowsDeviceCall::Open ? OpenReason(code, path) : IoControlReason(code);
  return reason + SystemNote(code, systemText);
}

DeviceErrorKind WindowsErrorKind(WindowsDeviceCall call, uint32_t code) {
  if (call == WindowsDeviceCall::Open) {
    if (MeansDenied(code))
      return DeviceErrorKind::AccessDenied;
    return MeansGone(code) ? DeviceErrorKind::Gone : DeviceErrorKind::Failed;
  }
  if (MeansHandleLost(code))
    return DeviceErrorKind::Gone;
  return MeansStalled(code) ? DeviceErrorKind::Stalled : DeviceErrorKind::Failed;
}

} // namespace orvane
