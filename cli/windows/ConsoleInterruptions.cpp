#include "cli/windows/ConsoleInterruptions.h"

#include <io.h>

namespace orvane::cli {

namespace {

constexpr char kHeldNote[] = "\norvane-update: the flash is being written and cannot be left half done; "
                             "the update runs to its end.\n";
constexpr char kCloseNote[] = "\norvane-update: the console is closing while the flash is being written; Windows "
                              "ends the program within seconds, which can leave the device without firmware.\n";

void Note(const char *text, size_t length) {
  // A failed write changes nothing: the handler's answer is what counts.
  const int ignored = ::_write(2, text, static_cast<unsigned>(length));
  (void)ignored;
}

VOID CALLBACK DeadlineReached(PVOID ticket, BOOLEAN) {
  ConsoleHold().DeadlinePassed(reinterpret_cast<uintptr_t>(ticket));
}

} // namespace

void ConsoleSwitch::Catch(bool on) {
  if (on) {
    ::ResetEvent(released_);
    if (::SetConsoleCtrlHandler(ConsoleRequest, TRUE))
      ++installs_;
    return;
  }
  // First: a closed console's wait ends before the handler list is touched.
  ::SetEvent(released_);
  if (::SetConsoleCtrlHandler(ConsoleRequest, FALSE))
    ++removals_;
}

void ConsoleSwitch::StartTimer(uint64_t ms, uint64_t ticket) {
  StopTimer();
  const DWORD due = ms > 0xFFFFFFF0u ? 0xFFFFFFF0u : static_cast<DWORD>(ms);
  if (!::CreateTimerQueueTimer(&timer_, nullptr, DeadlineReached, reinterpret_cast<PVOID>(uintptr_t{ticket}), due, 0,
                               WT_EXECUTEONLYONCE))
    timer_ = nullptr;
}

void ConsoleSwitch::StopTimer() {
  if (!timer_)
    return;
  // Without waiting: the callback may be the caller, or be waiting for the
  // hold's lock that the caller has. A callback on its way finds its ticket
  // out of date; the system frees the timer once it is done.
  ::DeleteTimerQueueTimer(nullptr, timer_, nullptr);
  timer_ = nullptr;
}

ConsoleSwitch &ConsoleHoldSwitch() {
  // Never destroyed: a timer or a console event may still arrive while the
  // process ends.
  static ConsoleSwitch &system = *new ConsoleSwitch;
  return system;
}

InterruptionHold &ConsoleHold() {
  static SystemClock &clock = *new SystemClock;
  static InterruptionHold &hold = *new InterruptionHold(ConsoleHoldSwitch(), clock);
  return hold;
}

BOOL WINAPI ConsoleRequest(DWORD event) {
  if (!ConsoleHold().Holding())
    return FALSE;
  switch (event) {
  case CTRL_C_EVENT:
  case CTRL_BREAK_EVENT:
    Note(kHeldNote, sizeof kHeldNote - 1);
    return TRUE;
  case CTRL_CLOSE_EVENT:
  case CTRL_LOGOFF_EVENT:
  case CTRL_SHUTDOWN_EVENT:
    // These cannot be refused: once the handler returns, or about 5
    // seconds after the event whichever comes first, Windows ends the
    // process. Waiting here gives a write that is nearly done the time
    // Windows allows; returning TRUE after it changes nothing.
    Note(kCloseNote, sizeof kCloseNote - 1);
    ::WaitForSingleObject(ConsoleHoldSwitch().Released(), kCloseGraceMs);
    return TRUE;
  default:
    return FALSE;
  }
}

} // namespace orvane::cli
