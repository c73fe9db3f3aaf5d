#include "program/StepProgress.h"

#include "isp/FlashWorkers.h"

namespace orvane {

namespace {

constexpr const char *kEraseStep = "Flash Erase All ";

// "Flash Erase All " with its dots is the same step still running.
bool IsEraseAnimation(const std::string &text) {
  const std::string lead = kEraseStep;
  return text.size() > lead.size() && text.compare(0, lead.size(), lead) == 0 &&
         text.find_first_not_of('.', lead.size()) == std::string::npos;
}

} // namespace

bool StepProgress::NewStep(const std::string &text) {
  if (IsEraseAnimation(text) || text == step_)
    return false;
  step_ = text;
  meter_.MarkStep();
  return true;
}

WalkProgress StepProgress::Update(FlashPhase phase, uint32_t done, uint32_t total) {
  const uint32_t blockBytes = phase == FlashPhase::Program ? flash_.ProgramChunkSize : FlashWorkers::kBlockBytes;
  return meter_.Update(phase, done, total, blockBytes, spanBytes_);
}

} // namespace orvane
