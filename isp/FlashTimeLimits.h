#pragma once

#include "isp/FlashPolicy.h"

#include <array>
#include <cstdint>

namespace orvane {

// How long the flash may take for each kind of write before a wait for it
// gives up, from the datasheet maxima of the part the identifier names,
// with a generous margin for the status reads in between.
struct FlashTimeLimits {
  uint32_t statusWriteMs = 0;
  uint32_t pageProgramMs = 0; // one page, or one word of the word program
  uint32_t chipEraseMs = 0;
};

// An identifier no part here matches (all zeros when it could not be
// read) gets the longest limits of them all.
FlashTimeLimits TimeLimitsFor(const std::array<uint8_t, 3> &flashId);

// The most a whole one-button update may take: every attempt writing the
// whole image at the limits above, with its reads and a wait for a silent
// device, plus the pauses between attempts and the protect and leave at
// the end.
uint64_t UpdateTimeLimitMs(const std::array<uint8_t, 3> &flashId, uint32_t imageBytes, int attempts);

// The most any update of imageBytes may take, whatever the part.
uint64_t WorstUpdateTimeLimitMs(uint32_t imageBytes, int attempts);

} // namespace orvane
