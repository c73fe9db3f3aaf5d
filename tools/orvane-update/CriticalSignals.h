#pragma once

namespace orvane::cli {

// While the flash is being written, Ctrl+C, a closed terminal or a plain
// kill would leave the device half programmed: the signals that ask the
// program to end are held off then, with a note on stderr.
void HoldOffInterruptions(bool hold);

// Writing to a reader that went away must fail the write, not end the program mid-update.
void IgnoreBrokenPipes();

} // namespace orvane::cli
