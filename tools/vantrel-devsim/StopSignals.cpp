#include "StopSignals.h"

#include <csignal>

namespace orvane::devsim {

namespace {
std::atomic<bool> stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the flag is set from a signal handler");

extern "C" void OnStopSignal(int) {
  stopRequested.store(true);
}
} // namespace

const std::atomic<bool> &InstallStopSignals() {
#ifdef _WIN32
  // Windows has neither sigaction nor SIGPIPE; Ctrl+C arrives as SIGINT.
  std::signal(SIGINT, OnStopSignal);
  std::signal(SIGTERM, OnStopSignal);
#else
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
#endif
  return stopRequested;
}

} // namespace orvane::devsim
