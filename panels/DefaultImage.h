#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace orvane {

inline constexpr size_t kDefaultImageBytes = 32768;

// The image built into the program, which the image buffers hold before
// any file is loaded.
const std::array<uint8_t, kDefaultImageBytes> &DefaultImage();

} // namespace orvane
