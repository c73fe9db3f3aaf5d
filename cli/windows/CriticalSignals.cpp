#include "../CriticalSignals.h"

#include <windows.h>

#include <io.h>

namespace orvane::cli {

namespace {

constexpr char kNote[] = "\norvane-update: the flash is being written and cannot be left half done; "
                         "the update runs to its end.\n";

// Ctrl+C and Ctrl+Break are swallowed while the flash is written. Closing
// the console cannot be refused on Windows (the system ends the program a
// few seconds later whatever the handler says); the note still goes out.
BOOL WINAPI Note(DWORD) {
  const int ignored = ::_write(2, kNote, sizeof kNote - 1);
  (void)ignored;
  return TRUE;
}

// The hold ran out: Ctrl+C ends the program again.
VOID CALLBACK HoldRanOut(PVOID, BOOLEAN) {
  ::SetConsoleCtrlHandler(Note, FALSE);
}

} // namespace

void HoldOffInterruptions(bool hold, uint64_t forAtMostMs) {
  ::SetConsoleCtrlHandler(Note, hold ? TRUE : FALSE);
  if (!hold)
    return;
  // One action per run: the timer is left to the end of the process, and
  // taking the handler off twice does no harm.
  HANDLE timer = nullptr;
  const DWORD ms = forAtMostMs > 0xFFFFFFF0u ? 0xFFFFFFF0u : static_cast<DWORD>(forAtMostMs);
  ::CreateTimerQueueTimer(&timer, nullptr, HoldRanOut, nullptr, ms, 0, WT_EXECUTEONLYONCE);
}

// Windows raises no signal for a closed pipe: the write fails by itself.
void IgnoreBrokenPipes() {}

} // namespace orvane::cli
