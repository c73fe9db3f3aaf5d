#pragma once

#include "cli/UpdateAll.h"

#include <mutex>
#include <ostream>

namespace orvane {

// Several updates as JSON lines: each device's events as a single update
// has them, with its "location" added; a "summary" line per device and one
// for the run at the end.
class JsonMultiReporter final : public MultiDeviceReporter {
public:
  JsonMultiReporter(std::ostream &out, std::ostream &err) : out_(out), err_(err) {}

  std::unique_ptr<UpdateReporter> ForDevice(const FoundDevice &device) override;
  void Problem(ProblemKind kind, const std::string &message) override;
  void Cancelled(const std::string &text) override;
  void Summary(const std::vector<DeviceOutcome> &outcomes) override;

private:
  std::ostream &out_;
  std::ostream &err_;
  std::mutex mutex_;
};

} // namespace orvane
