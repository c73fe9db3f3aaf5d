#include "cli/DeviceAccessAdvice.h"

namespace orvane {

namespace {

// Only Linux hands out device access by udev rules; elsewhere a refusal
// gets the general advice.
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
  return std::string(" If you lack the permission to use it, install ") + kUdevRulesFile +
         " (see \"Device access on Linux\" in the README) and plug the device in again.";
}

} // namespace orvane
