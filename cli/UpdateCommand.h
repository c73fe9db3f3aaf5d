#pragma once

#include "cli/UpdateCommandOptions.h"
#include "program/UpdateReporter.h"
#include "usb/Clock.h"
#include "usb/DeviceBus.h"

#include <cstdint>
#include <functional>
#include <string>

namespace orvane {

inline constexpr int kExitSuccess = 0;
// The device was written to or read from and the result is not good.
inline constexpr int kExitFailed = 1;
// Nothing was done to the device.
inline constexpr int kExitNothingDone = 2;
// The update failed before its first erase: the device was talked to, but
// its flash holds what it held before.
inline constexpr int kExitUnchanged = 3;

// Whether an exit status tells of an update that ran and failed.
inline bool IsFailedUpdate(int status) {
  return status == kExitFailed || status == kExitUnchanged;
}

// Asks the update's confirmation question; true for OK.
using ConfirmQuestion = std::function<bool(const std::string &question)>;

struct UpdateCommandContext {
  DeviceBus &bus;
  Clock &clock;
  std::string workingDirectory; // UTF-8
  UpdateReporter &reporter;
  ConfirmQuestion confirm; // empty when there is no terminal to ask on
  // Told true before the flash is touched, with the longest the update may
  // take, and false once it is left alone again, so the caller can hold off
  // interruptions in between, but no longer than that.
  std::function<void(bool critical, uint64_t forAtMostMs)> critical;
  // Where the device locks live, shared with every other program of this
  // tool; empty: none taken.
  std::string lockDirectory;
  // Where updates cut short are remembered (UpdateRecords); empty: nowhere.
  std::string recordsDirectory;
};

// Runs what the options ask for (not Help) on the objects the window uses:
// the connection monitor finds the device, the update file lookup or the
// image readers load the image, the one-button update or the flash
// read-back does the work. Returns the exit status.
int RunUpdateCommand(const UpdateCommandOptions &options, UpdateCommandContext &context);

} // namespace orvane
