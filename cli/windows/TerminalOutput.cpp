#include "../TerminalOutput.h"

#include <windows.h>

namespace orvane::cli {

bool PrepareTerminalOutput() {
  // The program writes UTF-8; the console would read it in the OEM code
  // page and show other characters for every non-ASCII one.
  ::SetConsoleOutputCP(CP_UTF8);
  const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (out == INVALID_HANDLE_VALUE || !out || !::GetConsoleMode(out, &mode))
    return false; // a file or a pipe
  // The classic console shows escape sequences as text unless asked to
  // take them; a console that cannot gets plain lines.
  return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
         ::SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

} // namespace orvane::cli
