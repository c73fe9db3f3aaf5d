#pragma once

#include <cstdint>

namespace orvane::cli {

// While the flash is being written, Ctrl+C, a closed terminal or a plain
// kill would leave the device half programmed: the signals that ask the
// program to end are held off then, with a note on stderr, but never for
// longer than forAtMostMs (rounded up to whole seconds): past the update's
// own deadline something is stuck, and the user gets the program back.
void HoldOffInterruptions(bool hold, uint64_t forAtMostMs);

// Writing to a reader that went away must fail the write, not end the program mid-update.
void IgnoreBrokenPipes();

} // namespace orvane::cli
