#pragma once

#include "usb/DeviceError.h"

#include <cstdint>
#include <string>

namespace orvane {

// Win32 error codes the Windows device bus tells apart.
namespace win32 {
inline constexpr uint32_t kInvalidFunction = 1;
inline constexpr uint32_t kFileNotFound = 2;
inline constexpr uint32_t kPathNotFound = 3;
inline constexpr uint32_t kAccessDenied = 5;
inline constexpr uint32_t kInvalidHandle = 6;
inline constexpr uint32_t kBadLength = 24;
inline constexpr uint32_t kGenFailure = 31;
inline constexpr uint32_t kSharingViolation = 32;
inline constexpr uint32_t kNotSupported = 50;
inline constexpr uint32_t kDevNotExist = 55;
inline constexpr uint32_t kInvalidParameter = 87;
inline constexpr uint32_t kSemTimeout = 121;
inline constexpr uint32_t kInsufficientBuffer = 122;
inline constexpr uint32_t kNoSuchDevice = 433;
inline constexpr uint32_t kOperationAborted = 995;
inline constexpr uint32_t kDeviceNotConnected = 1167;
inline constexpr uint32_t kNotFound = 1168;
inline constexpr uint32_t kTimeout = 1460;
} // namespace win32

enum class WindowsDeviceCall { Open, IoControl };

// The reason for a failed CreateFile or DeviceIoControl in the words the
// Linux device path uses ("permission denied on USB device ...", "the
// device is gone", ...), followed by the system's own text for the code
// (FormatMessage's, passed in so that this stays testable anywhere).
std::string WindowsErrorReason(WindowsDeviceCall call, uint32_t code, const std::string &systemText,
                               const std::string &path);

// What the code means for the layers above, as the Linux device path would say it.
DeviceErrorKind WindowsErrorKind(WindowsDeviceCall call, uint32_t code);

} // namespace orvane
