#pragma once

#include "usb/Clock.h"

#include <atomic>
#include <cstdint>
#include <mutex>

namespace orvane::cli {

// What holding off interruptions takes from the system: a handler that
// swallows the requests to end the program, and one deadline timer.
class InterruptionSwitch {
public:
  virtual ~InterruptionSwitch() = default;
  // Installs (true) or removes (false) the handler; called only to change its state.
  virtual void Catch(bool on) = 0;
  // Starts the deadline timer, replacing any earlier one: after ms it is to
  // call InterruptionHold::DeadlinePassed(ticket).
  virtual void StartTimer(uint64_t ms, uint64_t ticket) = 0;
  // Cancels the deadline timer and frees it; a callback already on its way
  // finds its ticket out of date.
  virtual void StopTimer() = 0;
};

// The one owner of the handler and its timer for a whole process. Holding
// again while held only moves the deadline: the handler stays installed
// once, and the last deadline given is the one that counts, so an earlier
// and shorter one cannot give the program back to Ctrl+C while a later
// write still runs. Released, the handler goes and the timer with it.
class InterruptionHold {
public:
  InterruptionHold(InterruptionSwitch &system, Clock &clock) : system_(system), clock_(clock) {}

  // true: hold for at most forAtMostMs from now (rounded up to whole
  // seconds, at least one); false: let interruptions through again.
  void Set(bool hold, uint64_t forAtMostMs);
  // The timer's callback. Only the ticket of the timer started last counts.
  void DeadlinePassed(uint64_t ticket);
  // Without the lock: the console handler asks while a deadline may be
  // taking the handler off under it.
  bool Holding() const { return caught_.load(); }

private:
  InterruptionSwitch &system_;
  Clock &clock_;
  std::mutex mutex_;
  std::atomic<bool> caught_{false};
  bool timerRunning_ = false;
  uint64_t deadlineUs_ = 0;
  uint64_t ticket_ = 0;
};

} // namespace orvane::cli
