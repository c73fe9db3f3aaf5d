#pragma once

#include "isp/WalkProgress.h"

#include <cstdint>
#include <string>

namespace orvane {

// "Program", "Blank check" ...: the phase as people read it.
std::string PhaseTitle(FlashPhase phase);
// "program", "blank_check" ...: the phase as wrappers match it.
std::string PhaseKey(FlashPhase phase);

// "0:07", "12:30", "1:02:03".
std::string DurationText(uint64_t us);
// "44.0/88.0 KiB".
std::string ByteCountText(uint64_t bytes, uint64_t totalBytes);

// One line of progress without a line end, e.g.
// "Program      [##########          ]  50%  44.0/88.0 KiB  0:02 elapsed  0:02 left";
// bar false leaves the bar out. A walk that is done shows no time left; an
// erase shows only how long it has waited.
std::string ProgressLine(const WalkProgress &progress, bool bar);

} // namespace orvane
