#pragma once

#include "cli/UpdateCommandOptions.h"

namespace orvane::cli {

// orvane-update --all on the system's devices: each device's thread gets
// its own system bus. Returns the exit status.
int RunUpdateAllOnSystem(const UpdateCommandOptions &options, bool terminal);

} // namespace orvane::cli
