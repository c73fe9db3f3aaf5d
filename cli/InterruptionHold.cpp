#include "cli/InterruptionHold.h"

#include <algorithm>

namespace orvane::cli {

namespace {

// Far past any update, and far from overflowing in microseconds.
constexpr uint64_t kLongestHoldMs = uint64_t{1} << 42;

uint64_t WholeSeconds(uint64_t ms) {
  ms = std::min(ms, kLongestHoldMs);
  const uint64_t seconds = ms / 1000 + (ms % 1000 != 0);
  return std::max<uint64_t>(seconds, 1) * 1000;
}

} // namespace

void InterruptionHold::Set(bool hold, uint64_t forAtMostMs) {
  const std::lock_guard lock(mutex_);
  if (!hold) {
    if (timerRunning_)
      system_.StopTimer();
    timerRunning_ = false;
    ++ticket_;
    if (caught_.exchange(false))
      system_.Catch(false);
    return;
  }
  const uint64_t nowUs = clock_.NowUs();
  const uint64_t askedUs = nowUs + WholeSeconds(forAtMostMs) * 1000;
  // Held already: the deadline only moves later, never earlier.
  deadlineUs_ = caught_ ? std::max(deadlineUs_, askedUs) : askedUs;
  if (!caught_.exchange(true))
    system_.Catch(true);
  if (timerRunning_)
    system_.StopTimer();
  timerRunning_ = true;
  system_.StartTimer((deadlineUs_ - nowUs + 999) / 1000, ++ticket_);
}

void InterruptionHold::DeadlinePassed(uint64_t ticket) {
  const std::lock_guard lock(mutex_);
  if (ticket != ticket_ || !timerRunning_)
    return;
  // The one-shot timer has fired: it is freed, not left for the process end.
  system_.StopTimer();
  timerRunning_ = false;
  // Past the update's own limit something is stuck: the user gets the program back.
  if (caught_.exchange(false))
    system_.Catch(false);
}

} // namespace orvane::cli
