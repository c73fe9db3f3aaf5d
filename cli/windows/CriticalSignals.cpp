#include "../CriticalSignals.h"

#include "cli/windows/ConsoleInterruptions.h"

namespace orvane::cli {

void HoldOffInterruptions(bool hold, uint64_t forAtMostMs) {
  ConsoleHold().Set(hold, forAtMostMs);
}

// Windows raises no signal for a closed pipe: the write fails by itself.
void IgnoreBrokenPipes() {}

} // namespace orvane::cli
