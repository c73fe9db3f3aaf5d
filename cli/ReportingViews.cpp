#include "cli/ReportingViews.h"

#include "isp/OneButtonUpdate.h"

namespace orvane {

namespace {

constexpr const char *kAttemptStart = "Clear Status register";

bool IsFailureText(const std::string &text) {
  return text.find("Fail") != std::string::npos;
}

} // namespace

void ReportingViews::ShowStatus(const std::string &text, StatusTone tone) {
  const std::string interrupted = steps_.CurrentStep();
  if (!steps_.NewStep(text))
    return;
  if (text == kAttemptStart)
    failure_.clear();
  reporter_.Step(text);
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
  reporter_.Progress(steps_.Update(phase, done, total));
}

} // namespace orvane
