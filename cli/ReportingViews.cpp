#include "cli/ReportingViews.h"

namespace orvane {

namespace {

bool IsFailureText(const std::string &text) {
  return text.find("Fail") != std::string::npos;
}

} // namespace

void ReportingViews::ShowStatus(const std::string &text, StatusTone) {
  if (!steps_.NewStep(text))
    return;
  reporter_.Step(text);
}

void ReportingViews::AttemptFailed(int attempt, int attempts, const std::string &reason) {
  failedAttempts_ = attempt;
  reporter_.AttemptFailed(attempt, attempts, reason);
}

void ReportingViews::ShowProcessInfo(const std::string &text) {
  // The ISP page's own step names are not the update panel's; its failure
  // texts say why a read-back failed.
  if (IsFailureText(text))
    failure_ = text;
}

void ReportingViews::Progress(FlashPhase phase, uint32_t done, uint32_t total) {
  reporter_.Progress(steps_.Update(phase, done, total));
}

} // namespace orvane
