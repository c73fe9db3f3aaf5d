#pragma once

#include "isp/FlashEvents.h"

#include <cstdint>
#include <functional>
#include <string>

namespace orvane {

// What one look at a block found.
struct BlockLook {
  enum class Outcome {
    Good,       // the block read as it should
    Bad,        // a read failed or the block read otherwise: one try spent
    Unanswered, // the device stopped answering: no try spent, the block is looked at again once it answers
  };
  Outcome outcome = Outcome::Bad;
  // A read went through, so the walk shows the block as reached.
  bool read = false;
  // For a block that read otherwise: the first address that did.
  uint32_t failedAt = 0;
};

// What a walk asks before each block: whether it may go on, after bringing
// a silent device back when it can.
class WalkGate {
public:
  virtual ~WalkGate() = default;
  [[nodiscard]] virtual bool Resume() = 0;
  // How many times the device was brought back: tries a block spent on a
  // silence were the silence's, not the flash's.
  virtual uint64_t Recoveries() const = 0;
};

// The one walk over the flash in blocks of kReadBlockBytes, for the blank
// check, the verify and the read-back: each block is looked at until a
// look is good; kBlockTries bad looks in a row fail the walk at the address
// the last one names. Every block reached and done is told to events, and a
// failure with its reason.
class BlockWalk {
public:
  using Look = std::function<BlockLook(uint32_t address)>;

  // gate: asked before each block; without one the walk goes on whatever
  // becomes of the device, and every failed read costs a try.
  BlockWalk(FlashPhase phase, FlashEvents &events, WalkGate *gate = nullptr)
      : phase_(phase), events_(events), gate_(gate) {}

  // Flash addresses [start, end), end exclusive. True when every block
  // looked good; false when one failed (Failure() says why) or the gate
  // stopped the walk (Failure() is empty).
  [[nodiscard]] bool Run(uint32_t start, uint32_t end, const Look &look);
  const std::string &Failure() const { return failure_; }

private:
  FlashPhase phase_;
  FlashEvents &events_;
  WalkGate *gate_;
  std::string failure_;
};

// Blocks of step bytes it takes to cover [start, end).
uint32_t BlocksBetween(uint32_t start, uint32_t end, uint32_t step);

} // namespace orvane
