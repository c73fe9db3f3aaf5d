#include "cli/JsonMultiReporter.h"

#include "cli/JsonEvent.h"
#include "cli/JsonUpdateReporter.h"

namespace orvane {

namespace {

const char *OutcomeKey(int status) {
  switch (status) {
  case kExitSuccess:
    return "success";
  case kExitFailed:
  case kExitUnchanged:
    return "failed";
  default:
    return "nothing_done";
  }
}

} // namespace

std::unique_ptr<UpdateReporter> JsonMultiReporter::ForDevice(const FoundDevice &device) {
  return std::make_unique<JsonUpdateReporter>(out_, err_, device.location, mutex_);
}

void JsonMultiReporter::Problem(ProblemKind kind, const std::string &message) {
  JsonUpdateReporter(out_, err_).Problem(kind, message);
}

void JsonMultiReporter::Cancelled(const std::string &text) {
  JsonUpdateReporter(out_, err_).Cancelled(text);
}

void JsonMultiReporter::Summary(const std::vector<DeviceOutcome> &outcomes) {
  const std::lock_guard lock(mutex_);
  for (const DeviceOutcome &outcome : outcomes) {
    JsonEvent line = JsonEvent::object();
    line["event"] = "summary";
    line["location"] = outcome.device.location;
    line["outcome"] = OutcomeKey(outcome.status);
    out_ << JsonLineText(line) << '\n';
  }
  const OutcomeCounts counts = CountOutcomes(outcomes);
  JsonEvent line = JsonEvent::object();
  line["event"] = "summary";
  line["devices"] = uint64_t{outcomes.size()};
  line["succeeded"] = uint64_t{counts.succeeded};
  line["failed"] = uint64_t{counts.failed};
  line["nothing_done"] = uint64_t{counts.nothingDone};
  out_ << JsonLineText(line) << '\n' << std::flush;
}

} // namespace orvane
