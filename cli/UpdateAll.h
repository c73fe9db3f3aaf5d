#pragma once

#include "cli/UpdateCommand.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace orvane {

// What one device's update works on, owned by the thread that runs it: its
// own bus, so no handle, driver state or error text is shared with another
// device's thread, and its own clock.
class DeviceStack {
public:
  virtual ~DeviceStack() = default;
  virtual DeviceBus &Bus() = 0;
  virtual Clock &Time() = 0;
};

// A fresh stack for the device at location; called on the finding thread.
using DeviceStackFactory = std::function<std::unique_ptr<DeviceStack>(const std::string &location)>;

// How one device's update ended.
struct DeviceOutcome {
  FoundDevice device;
  int status = kExitNothingDone; // kExitSuccess, kExitFailed, kExitUnchanged or kExitNothingDone
};

struct OutcomeCounts {
  size_t succeeded = 0;
  size_t failed = 0;
  size_t nothingDone = 0;
};
OutcomeCounts CountOutcomes(const std::vector<DeviceOutcome> &outcomes);

// Tells what happens on several devices at once.
class MultiDeviceReporter {
public:
  virtual ~MultiDeviceReporter() = default;
  // The reporter of one device's update, called from that device's thread
  // only (and destroyed there too); made on the finding thread.
  virtual std::unique_ptr<UpdateReporter> ForDevice(const FoundDevice &device) = 0;
  // Of the whole run, from the finding thread while no update runs.
  virtual void Problem(ProblemKind kind, const std::string &message) = 0;
  virtual void Cancelled(const std::string &text) = 0;
  // Once every update has ended, in the order the devices were found.
  virtual void Summary(const std::vector<DeviceOutcome> &outcomes) = 0;
};

struct UpdateAllContext {
  DeviceBus &bus; // for finding devices, on the calling thread only
  Clock &clock;   // the calling thread's waits
  std::string workingDirectory;
  MultiDeviceReporter &reporter;
  ConfirmQuestion confirm;
  // As in UpdateCommandContext: true while any device's flash is being
  // worked on, with the longest any of them may still take.
  std::function<void(bool critical, uint64_t forAtMostMs)> critical;
  // As in UpdateCommandContext; each device's update takes that device's lock.
  std::string lockDirectory;
  DeviceStackFactory stacks;
  // As in UpdateCommandContext.
  std::string recordsDirectory;
};

inline constexpr const char *kUpdateAllQuestionLead = "Update the firmware of every attached device";

// Updates every attached supported device at once, a thread per device,
// each through RunUpdateCommand on its own stack narrowed to that device.
// With waitSeconds, keeps finding devices until that long passes without a
// new one. Exit status: kExitSuccess when every device succeeded,
// kExitNothingDone when nothing was done to any, kExitUnchanged when none
// was updated and no flash was changed, else kExitFailed.
int RunUpdateAll(const UpdateCommandOptions &options, UpdateAllContext &context);

} // namespace orvane
