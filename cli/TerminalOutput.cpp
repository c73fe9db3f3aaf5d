#include "TerminalOutput.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace orvane::cli {

bool PrepareTerminalOutput() {
  const char *term = std::getenv("TERM");
  return ::isatty(STDOUT_FILENO) == 1 && !(term && std::strcmp(term, "dumb") == 0);
}

} // namespace orvane::cli
