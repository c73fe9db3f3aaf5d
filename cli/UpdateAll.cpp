#include "cli/UpdateAll.h"

#include "isp/OneButtonUpdate.h"
#include "program/ConnectionMonitor.h"
#include "program/SupportedDevices.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <mutex>
#include <thread>

namespace orvane {

namespace {

// Any device in its critical section holds interruptions off; the last to
// leave lets them through again.
class SharedCritical {
public:
  explicit SharedCritical(std::function<void(bool, uint64_t)> outer) : outer_(std::move(outer)) {}

  void operator()(bool critical, uint64_t forAtMostMs) {
    const std::lock_guard lock(mutex_);
    const int before = count_;
    count_ += critical ? 1 : -1;
    if (!outer_)
      return;
    if (count_ == 0) {
      longestMs_ = 0;
      outer_(false, 0);
    } else if (critical && (before == 0 || forAtMostMs > longestMs_)) {
      // Counted again from now, the longest limit asked for covers what is
      // left of every earlier one.
      longestMs_ = std::max(longestMs_, forAtMostMs);
      outer_(true, longestMs_);
    }
  }

private:
  std::mutex mutex_;
  int count_ = 0;
  uint64_t longestMs_ = 0;
  std::function<void(bool, uint64_t)> outer_;
};

struct Worker {
  DeviceOutcome outcome;
  std::thread thread;
};

class UpdateAll {
public:
  UpdateAll(const UpdateCommandOptions &options, UpdateAllContext &context)
      : options_(options), c_(context), critical_(context.critical) {}

  ~UpdateAll() {
    for (auto &worker : workers_)
      if (worker->thread.joinable())
        worker->thread.join();
  }

  int Run() {
    if (!options_.yes && !c_.confirm) {
      c_.reporter.Problem(ProblemKind::NoTerminal, "stdin is not a terminal, so the confirmation question cannot be "
                                                   "asked. Run with --yes to update without asking.");
      return kExitNothingDone;
    }
    const uint64_t waitUs = uint64_t{options_.waitSeconds} * 1'000'000;
    uint64_t lastNewUs = c_.clock.NowUs();
    bool asked = options_.yes;
    for (;;) {
      const auto fresh = NewDevices();
      if (!fresh.empty()) {
        if (!asked) {
          asked = true;
          if (!c_.confirm(std::to_string(fresh.size()) + " devices: " + kUpdateQuestion)) {
            c_.reporter.Cancelled(kUpdateAbort);
            return kExitNothingDone;
          }
        }
        for (const SupportedDevice &device : fresh)
          Start(device.device);
        lastNewUs = c_.clock.NowUs();
      }
      if (c_.clock.NowUs() - lastNewUs >= waitUs)
        break;
      c_.clock.SleepMs(kMonitorFastMs);
    }
    if (workers_.empty()) {
      c_.reporter.Problem(ProblemKind::NoDevice, NoDevices());
      return kExitNothingDone;
    }
    std::vector<DeviceOutcome> outcomes;
    for (auto &worker : workers_) {
      worker->thread.join();
      outcomes.push_back(worker->outcome);
    }
    c_.reporter.Summary(outcomes);
    return Verdict(outcomes);
  }

private:
  std::string NoDevices() const {
    std::string message = std::string(kNoDeviceCaption) + ": no supported device was found";
    if (options_.waitSeconds > 0)
      message += " within " + std::to_string(options_.waitSeconds) + " s";
    return message + ". Plug the devices in, or wait for them with --wait SECONDS.";
  }

  static int Verdict(const std::vector<DeviceOutcome> &outcomes) {
    const OutcomeCounts counts = CountOutcomes(outcomes);
    if (counts.succeeded == outcomes.size())
      return kExitSuccess;
    if (counts.nothingDone == outcomes.size())
      return kExitNothingDone;
    // Every flash as it was before is worth telling apart only when none
    // was changed at all.
    const bool anyChanged = std::any_of(outcomes.begin(), outcomes.end(),
                                        [](const DeviceOutcome &outcome) { return outcome.status == kExitFailed; });
    return anyChanged || counts.succeeded > 0 ? kExitFailed : kExitUnchanged;
  }

  // Devices not served yet in this run. A place is served once: a device
  // that restarts after its update comes back at the same place and must
  // not be updated again; another device (another serial number) may.
  std::vector<SupportedDevice> NewDevices() {
    std::vector<SupportedDevice> fresh;
    for (SupportedDevice &device : ListSupportedDevices(c_.bus)) {
      const std::string &place = device.device.location;
      if (place.empty())
        continue; // cannot be named alone
      const auto served = served_.find(place);
      if (served != served_.end() && (device.device.serial.empty() || served->second == device.device.serial))
        continue;
      served_[place] = device.device.serial;
      fresh.push_back(std::move(device));
    }
    return fresh;
  }

  void Start(const FoundDevice &device) {
    auto worker = std::make_unique<Worker>();
    worker->outcome.device = device;
    std::shared_ptr<UpdateReporter> reporter = c_.reporter.ForDevice(device);
    std::shared_ptr<DeviceStack> stack = c_.stacks(device.location);
    Worker *self = worker.get();
    worker->thread = std::thread([this, self, reporter, stack]() mutable {
      self->outcome.status = UpdateOne(self->outcome.device, *stack, *reporter);
      // Both end on the device's thread, as its reporter's contract says.
      reporter.reset();
      stack.reset();
    });
    workers_.push_back(std::move(worker));
  }

  int UpdateOne(const FoundDevice &device, DeviceStack &stack, UpdateReporter &reporter) {
    UpdateCommandOptions one = options_;
    one.all = false;
    one.yes = true; // asked once for all
    one.device = device.location;
    one.waitSeconds = 0;
    UpdateCommandContext context{stack.Bus(),
                                 stack.Time(),
                                 c_.workingDirectory,
                                 reporter,
                                 {},
                                 [this](bool critical, uint64_t forAtMostMs) { critical_(critical, forAtMostMs); },
                                 c_.lockDirectory,
                                 c_.recordsDirectory};
    try {
      return RunUpdateCommand(one, context);
    } catch (const std::exception &e) {
      // Whether the device was touched cannot be told here: not a "nothing done".
      reporter.Problem(ProblemKind::Usage, std::string("unexpected failure: ") + e.what());
    } catch (...) {
      reporter.Problem(ProblemKind::Usage, "unexpected failure");
    }
    return kExitFailed;
  }

  const UpdateCommandOptions &options_;
  UpdateAllContext &c_;
  SharedCritical critical_;
  std::map<std::string, std::string> served_; // place, serial number then
  std::vector<std::unique_ptr<Worker>> workers_;
};

} // namespace

OutcomeCounts CountOutcomes(const std::vector<DeviceOutcome> &outcomes) {
  OutcomeCounts counts;
  for (const DeviceOutcome &outcome : outcomes) {
    counts.succeeded += outcome.status == kExitSuccess;
    counts.failed += IsFailedUpdate(outcome.status);
  }
  counts.nothingDone = outcomes.size() - counts.succeeded - counts.failed;
  return counts;
}

int RunUpdateAll(const UpdateCommandOptions &options, UpdateAllContext &context) {
  return UpdateAll(options, context).Run();
}

} // namespace orvane
