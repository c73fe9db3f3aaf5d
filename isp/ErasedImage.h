#pragma once

#include <cstdint>
#include <vector>

namespace orvane {

// Programming an image of nothing but 0xFF leaves the flash erased: the
// device could not start from it, so such an image is never taken.
inline constexpr const char *kErasedImageRefusal =
    "the image holds only 0xFF bytes, which is an erased flash the device cannot start from";

// Whether the first length bytes of buffer are all 0xFF.
bool HoldsOnlyErasedBytes(const std::vector<uint8_t> &buffer, uint32_t length);

} // namespace orvane
