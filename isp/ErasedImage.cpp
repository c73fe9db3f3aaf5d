#include "isp/ErasedImage.h"

#include <algorithm>
#include <cstddef>

namespace orvane {

bool HoldsOnlyErasedBytes(const std::vector<uint8_t> &buffer, uint32_t length) {
  const auto end = buffer.begin() + std::min<std::ptrdiff_t>(length, static_cast<std::ptrdiff_t>(buffer.size()));
  return std::all_of(buffer.begin(), end, [](uint8_t b) { return b == 0xFF; });
}

} // namespace orvane
