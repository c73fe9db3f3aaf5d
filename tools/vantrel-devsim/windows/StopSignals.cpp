#include "../StopSignals.h"

#include <csignal>

namespace orvane::devsim {

namespace {
std::atomic<bool> stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the flag is set from a signal handler");

extern "C" void OnStopSignal(int) {
  stopRequested.store(true);
}
} // namespace

// Windows has no sigaction and no SIGPIPE; Ctrl+C arrives as SIGINT.
const std::atomic<bool> &InstallStopSignals() {
  std::signal(SIGINT, OnStopSignal);
  std::signal(SIGTERM, OnStopSignal);
  return stopRequested;
}

} // namespace orvane::devsim
