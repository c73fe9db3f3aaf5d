#include "program/StepProgress.h"

#include "isp/FlashPolicy.h"

namespace orvane {

bool StepProgress::NewStep(UpdateStep step) {
  if (step_ == step)
    return false;
  step_ = step;
  meter_.MarkStep();
  return true;
}

WalkProgress StepProgress::Update(FlashPhase phase, uint32_t done, uint32_t total) {
  const uint32_t blockBytes = phase == FlashPhase::Program ? flash_.ProgramChunkSize : kReadBlockBytes;
  return meter_.Update(phase, done, total, blockBytes, spanBytes_);
}

} // namespace orvane
