#pragma once

#include "usb/DeviceError.h"

#include <string>

namespace orvane {

inline constexpr const char *kUdevRulesFile = "packaging/60-orvane-updater.rules";

// Why a device cannot be opened, as the user reads it: on Linux a USB
// device the system refuses this user comes with the udev rule that
// grants the access.
std::string OpenFailureReason(const DeviceError &error);

// The sentence that follows the reason when the reason gave no advice of
// its own; empty when it did.
std::string OpenFailureAdvice(const DeviceError &error);

} // namespace orvane
