#include "cli/DeviceAccessAdvice.h"

namespace orvane {

namespace {

// Only Linux hands out device access by udev rules. On Windows the vendor's
// driver owns the device, and it refuses an open while someone else has it.
#ifdef _WIN32
constexpr bool kUdevGrantsAccess = false;
#else
constexpr bool kUdevGrantsAccess = true;
#endif

bool UdevRuleIsTheRemedy(const DeviceError &error) {
  return kUdevGrantsAccess && error.kind == DeviceErrorKind::AccessDenied;
}

} // namespace

std::string OpenFailureReason(const DeviceError &error) {
  if (!UdevRuleIsTheRemedy(error))
    return error.text;
  return error.text + " (install " + kUdevRulesFile + " as the README says, then replug the device)";
}

std::string OpenFailureAdvice(const DeviceError &error) {
  if (UdevRuleIsTheRemedy(error))
    return {};
  if (!kUdevGrantsAccess)
    return std::string(" ") + kWindowsOpenAdvice;
  return std::string(" If you lack the permission to use it, install ") + kUdevRulesFile +
         " (see \"Device access on Linux\" in the README) and plug the device in again.";
}

} // namespace orvane
