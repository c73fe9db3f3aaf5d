#include "panels/ParameterTableMarker.h"

#include <algorithm>

namespace orvane {

std::optional<uint32_t> FindParameterTableMarker(const std::vector<uint8_t> &buffer, uint32_t length) {
  const std::string_view required = kParameterTableMarker.substr(0, kParameterTableMarkerRequired);
  const size_t starts = std::min<size_t>(length, buffer.size());
  for (size_t offset = 0; offset < starts; ++offset) {
    if (buffer.size() - offset < required.size())
      break; // bytes beyond the buffer never match
    if (std::equal(required.begin(), required.end(), buffer.begin() + static_cast<std::ptrdiff_t>(offset),
                   [](char want, uint8_t have) { return static_cast<uint8_t>(want) == have; }))
      return static_cast<uint32_t>(offset);
  }
  return std::nullopt;
}

} // namespace orvane
