#pragma once

#include "usb/DeviceError.h"

#include <string>

namespace orvane {

inline constexpr const char *kUdevRulesFile = "packaging/60-orvane-updater.rules";
// What keeps a device from opening on Windows, where no udev rule applies.
inline constexpr const char *kWindowsOpenAdvice =
    "Another program may hold the device (a second updater, or the maker's control panel), its vendor driver may "
    "not be installed (see \"Windows\" in the README), or the audio system may be using it (stop playback and "
    "recording on it); then plug the device in again.";

// Why a device cannot be opened, as the user reads it: on Linux a USB
// device the system refuses this user comes with the udev rule that
// grants the access; on Windows, where the vendor driver decides, the
// reason stands alone and the advice names what holds a device there.
std::string OpenFailureReason(const DeviceError &error);

// The sentence that follows the reason when the reason gave no advice of
// its own; empty when it did.
std::string OpenFailureAdvice(const DeviceError &error);

} // namespace orvane
