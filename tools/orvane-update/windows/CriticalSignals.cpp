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

} // namespace

void HoldOffInterruptions(bool hold) {
  ::SetConsoleCtrlHandler(Note, hold ? TRUE : FALSE);
}

// Windows raises no signal for a closed pipe: the write fails by itself.
void IgnoreBrokenPipes() {}

} // namespace orvane::cli
