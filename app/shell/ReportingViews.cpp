#include "app/shell/ReportingViews.h"

#include "isp/FlashWorkers.h"
#include "isp/OneButtonUpdate.h"

namespace orvane {

namespace {

constexpr const char *kEraseStep = "Flash Erase All ";
constexpr const char *kAttemptStart = "Clear Status register";

// "Flash Erase All " with its dots is the same step still running.
bool IsEraseAnimation(const std::string &text) {
  const std::string lead = kEraseStep;
  return text.size() > lead.size() && text.compare(0, lead.size(), lead) == 0 &&
         text.find_first_not_of('.', lead.size()) == std::string::npos;
}

bool IsFailureText(const std::string &text) {
  return text.find("Fail") != std::string::npos;
}

} // namespace

void ReportingViews::Step(const std::string &text) {
  if (text == lastStep_)
    return;
  lastStep_ = text;
  meter_.MarkStep();
  reporter_.Step(text);
}

void ReportingViews::ShowStatus(const std::string &text, StatusTone tone) {
  if (IsEraseAnimation(text) || text == lastStep_)
    return;
  if (text == kAttemptStart)
    failure_.clear();
  const std::string interrupted = lastStep_;
  Step(text);
  if (tone == StatusTone::Retry) {
    ++failedAttempts_;
    reporter_.AttemptFailed(failedAttempts_, OneButtonUpdate::kAttempts,
                            failure_.empty() ? interrupted + " did not succeed" : failure_);
  } else if (IsFailureText(text)) {
    failure_ = text;
  }
}

void ReportingViews::ShowProcessInfo(const std::string &text) {
  // The ISP page's own step names are not the update panel's; its failure
  // texts say why an attempt failed.
  if (IsFailureText(text))
    failure_ = text;
}

void ReportingViews::Progress(FlashPhase phase, uint32_t done, uint32_t total) {
  const uint32_t blockBytes = phase == FlashPhase::Program ? flash_.ProgramChunkSize : FlashWorkers::kBlockBytes;
  reporter_.Progress(meter_.Update(phase, done, total, blockBytes, spanBytes_));
}

} // namespace orvane
