#pragma once

namespace orvane::cli {

// Sets the terminal up for the program's output, once at start: true when
// standard output is a terminal that takes escape sequences, so progress
// is redrawn in place; false for plain lines.
bool PrepareTerminalOutput();

} // namespace orvane::cli
