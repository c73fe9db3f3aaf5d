#include "isp/WalkProgress.h"

#include <algorithm>

namespace orvane {

bool IsBlockWalk(FlashPhase phase) {
  switch (phase) {
  case FlashPhase::BlankCheck:
  case FlashPhase::Program:
  case FlashPhase::Verify:
  case FlashPhase::ReadBack:
    return true;
  case FlashPhase::StatusClear:
  case FlashPhase::Erase:
  case FlashPhase::Protect:
  case FlashPhase::Leave:
    break;
  }
  return false;
}

void ProgressMeter::MarkStep() {
  markUs_ = clock_.NowUs();
  // Whatever comes next is a walk of its own, even of the same phase.
  walking_ = false;
}

WalkProgress ProgressMeter::Update(FlashPhase phase, uint32_t done, uint32_t total, uint32_t blockBytes,
                                   uint64_t spanBytes) {
  const uint64_t now = clock_.NowUs();
  const bool newWalk = !walking_ || phase != phase_ || done < lastDone_ || total != lastTotal_;
  if (newWalk) {
    walking_ = true;
    phase_ = phase;
    walkStartUs_ = markUs_.value_or(now);
  }
  lastDone_ = done;
  lastTotal_ = total;

  WalkProgress progress;
  progress.phase = phase;
  progress.done = std::min(done, total);
  progress.total = total;
  progress.elapsedUs = now >= walkStartUs_ ? now - walkStartUs_ : 0;
  if (!IsBlockWalk(phase))
    return progress;

  progress.percent = total == 0 ? 100 : static_cast<int>(uint64_t{progress.done} * 100 / total);
  progress.totalBytes = spanBytes;
  progress.bytes = progress.done == total ? spanBytes : std::min(uint64_t{progress.done} * blockBytes, spanBytes);
  if (progress.done > 0)
    progress.remainingUs = progress.elapsedUs * (total - progress.done) / progress.done;
  return progress;
}

} // namespace orvane
