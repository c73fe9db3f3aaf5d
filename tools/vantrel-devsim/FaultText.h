#pragma once

#include "sim/ChipSimulator.h"

#include <string>

namespace orvane::devsim {

// Arms one fault given as on the command line ("stall-request:91:3",
// "flip-read:1000:04:stuck", ...); false with a message when the text is
// not a fault this program knows.
bool ApplyFaultText(const std::string &text, sim::ChipSimulator &chip, std::string *error);

} // namespace orvane::devsim
