#pragma once

#include "isp/IspView.h"
#include "usb/Clock.h"

#include <cstdint>
#include <optional>

namespace orvane {

// Where one flash walk stands, worked out from the blocks it has done.
struct WalkProgress {
  FlashPhase phase = FlashPhase::Program;
  uint32_t done = 0;
  uint32_t total = 0;
  int percent = 0; // of the blocks, rounded down: 100 only once every block is done
  uint64_t bytes = 0;
  uint64_t totalBytes = 0;
  uint64_t elapsedUs = 0;
  // From the pace of the blocks done so far; none before the first block.
  std::optional<uint64_t> remainingUs;
};

// The phases that walk a known number of blocks. An erase is a wait whose
// end only the chip knows: it has an elapsed time and nothing else.
bool IsBlockWalk(FlashPhase phase);

// Turns the blocks-done reports of the flash steps into percentages, bytes
// and times. A walk is timed from the last step mark before it, so the
// time of its first block counts.
class ProgressMeter {
public:
  explicit ProgressMeter(const Clock &clock) : clock_(clock) {}

  // A step (its status text) begins now.
  void MarkStep();
  // blockBytes: bytes one block of this walk covers; spanBytes: bytes of the whole walk.
  WalkProgress Update(FlashPhase phase, uint32_t done, uint32_t total, uint32_t blockBytes, uint64_t spanBytes);

private:
  const Clock &clock_;
  std::optional<uint64_t> markUs_;
  bool walking_ = false;
  FlashPhase phase_ = FlashPhase::Program;
  uint32_t lastDone_ = 0;
  uint32_t lastTotal_ = 0;
  uint64_t walkStartUs_ = 0;
};

} // namespace orvane
