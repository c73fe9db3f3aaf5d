#include "usb/WindowsErrorReason.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

const std::string kPath = "\\\\?\\usb#vid_3b5d&pid_6000#5&1a2b3c&0&2#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";

std::string OpenReason(uint32_t code, const std::string &text = "Some system text.\r\n") {
  return WindowsErrorReason(WindowsDeviceCall::Open, code, text, kPath);
}

std::string CallReason(uint32_t code, const std::string &text = "Some system text.\r\n") {
  return WindowsErrorReason(WindowsDeviceCall::IoControl, code, text, kPath);
}

TEST(WindowsErrorReason, OpenFailuresSayWhatTheLinuxPathSays) {
  EXPECT_EQ(OpenReason(win32::kAccessDenied, "Access is denied.\r\n"),
            "permission denied on USB device " + kPath + " (Access is denied, error 5)");
  EXPECT_EQ(OpenReason(win32::kSharingViolation).rfind("permission denied on USB device ", 0), 0u);
  for (const uint32_t gone : {win32::kFileNotFound, win32::kPathNotFound, win32::kDevNotExist, win32::kNoSuchDevice,
                              win32::kDeviceNotConnected})
    EXPECT_EQ(OpenReason(gone).rfind("USB device " + kPath + " is gone (", 0), 0u) << gone;
  EXPECT_EQ(OpenReason(1234, "Odd.\r\n"), "cannot open USB device " + kPath + " (Odd, error 1234)");
}

TEST(WindowsErrorReason, DriverCallFailuresSayWhatTheEmulatedDriversSay) {
  EXPECT_EQ(CallReason(win32::kGenFailure, "A device attached to the system is not functioning.\r\n"),
            "the device rejected the request (A device attached to the system is not functioning, error 31)");
  for (const uint32_t gone :
       {win32::kDeviceNotConnected, win32::kNoSuchDevice, win32::kFileNotFound, win32::kInvalidHandle})
    EXPECT_EQ(CallReason(gone).rfind("the device is gone (", 0), 0u) << gone;
  for (const uint32_t unknown : {win32::kInvalidFunction, win32::kNotSupported, win32::kNotFound})
    EXPECT_EQ(CallReason(unknown).rfind("the driver does not know this request (", 0), 0u) << unknown;
  for (const uint32_t late : {win32::kSemTimeout, win32::kTimeout, win32::kOperationAborted})
    EXPECT_EQ(CallReason(late).rfind("the device did not answer in time (", 0), 0u) << late;
  EXPECT_EQ(CallReason(win32::kInvalidParameter).rfind("the driver refused the request block (", 0), 0u);
  EXPECT_EQ(CallReason(4321), "the transfer failed (Some system text, error 4321)");
  // The path only goes into open failures: a call names no device.
  EXPECT_EQ(CallReason(win32::kGenFailure).find(kPath), std::string::npos);
}

TEST(WindowsErrorReason, EachCodeHasTheKindTheLinuxPathGivesTheSameFailure) {
  EXPECT_EQ(WindowsErrorKind(WindowsDeviceCall::Open, win32::kAccessDenied), DeviceErrorKind::AccessDenied);
  EXPECT_EQ(WindowsErrorKind(WindowsDeviceCall::Open, win32::kSharingViolation), DeviceErrorKind::AccessDenied);
  for (const uint32_t gone : {win32::kFileNotFound, win32::kPathNotFound, win32::kDevNotExist, win32::kNoSuchDevice,
                              win32::kDeviceNotConnected})
    EXPECT_EQ(WindowsErrorKind(WindowsDeviceCall::Open, gone), DeviceErrorKind::Gone) << gone;
  EXPECT_EQ(WindowsErrorKind(WindowsDeviceCall::Open, 1234), DeviceErrorKind::Failed);

  EXPECT_EQ(WindowsErrorKind(WindowsDeviceCall::IoControl, win32::kGenFailure), DeviceErrorKind::Stalled);
  for (const uint32_t gone :
       {win32::kDeviceNotConnected, win32::kNoSuchDevice, win32::kFileNotFound, win32::kInvalidHandle})
    EXPECT_EQ(WindowsErrorKind(WindowsDeviceCall::IoControl, gone), DeviceErrorKind::Gone) << gone;
  for (const uint32_t other : {win32::kInvalidFunction, win32::kTimeout, win32::kInvalidParameter, 4321u})
    EXPECT_EQ(WindowsErrorKind(WindowsDeviceCall::IoControl, other), DeviceErrorKind::Failed) << other;
}

TEST(WindowsErrorReason, AMissingSystemTextLeavesTheCode) {
  EXPECT_EQ(CallReason(4321, ""), "the transfer failed (error 4321)");
  EXPECT_EQ(CallReason(4321, " .\r\n"), "the transfer failed (error 4321)");
}

} // namespace
} // namespace orvane
