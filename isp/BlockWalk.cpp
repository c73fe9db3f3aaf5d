#include "isp/BlockWalk.h"

#include "isp/FlashPolicy.h"

#include <algorithm>

namespace orvane {

uint32_t BlocksBetween(uint32_t start, uint32_t end, uint32_t step) {
  return end > start ? (end - start + step - 1) / step : 0;
}

bool BlockWalk::Run(uint32_t start, uint32_t end, const Look &look) {
  failure_.clear();
  const uint32_t totalBlocks = BlocksBetween(start, end, kReadBlockBytes);
  int failures = 0;
  uint32_t a = start;
  while (a < end) {
    if (gate_) {
      const uint64_t recoveries = gate_->Recoveries();
      if (!gate_->Resume())
        return false;
      // The reads that failed were the silence, not the flash.
      if (gate_->Recoveries() != recoveries)
        failures = 0;
    }
    const BlockLook seen = look(a);
    if (seen.outcome == BlockLook::Outcome::Unanswered)
      continue; // looked at again once the device answers, or the gate ends the walk
    if (seen.read) {
      events_.BlockReached(phase_, a);
      events_.ProcessMessages();
    }
    failures = seen.outcome == BlockLook::Outcome::Good ? 0 : failures + 1;
    if (failures >= kBlockTries) {
      failure_ = WalkFailureText(phase_, seen.failedAt);
      events_.WalkFailed(phase_, failure_);
      return false;
    }
    if (failures == 0) {
      a += kReadBlockBytes;
      events_.BlocksDone(phase_, BlocksBetween(start, std::min(a, end), kReadBlockBytes), totalBlocks);
    }
  }
  return true;
}

} // namespace orvane
