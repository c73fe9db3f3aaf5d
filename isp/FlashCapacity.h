#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace orvane {

// The size of the flash in bytes as its identifier tells it, by the rule
// of its row in the part table (isp/FlashParts.h). nullopt for an
// identifier that tells nothing (unread, all zeros or all ones, an unknown
// SST part or a capacity byte outside 64 KB to 16 MB).
std::optional<uint32_t> FlashCapacityBytes(const std::array<uint8_t, 3> &id);

// Why an image of imageLength bytes cannot go into a flash with this
// identifier; empty when it fits or the size of the flash is unknown.
std::string ImageCapacityRefusal(uint32_t imageLength, const std::array<uint8_t, 3> &id);

// Why flash addresses up to (not including) spanEnd cannot be written on a
// flash with this identifier; empty when they fit or the size is unknown.
std::string SpanCapacityRefusal(uint32_t spanEnd, const std::array<uint8_t, 3> &id);

} // namespace orvane
