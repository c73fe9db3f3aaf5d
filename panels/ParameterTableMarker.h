#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace orvane {

// The text in front of the user-parameter table of a firmware image.
inline constexpr std::string_view kParameterTableMarker = "VXUSB_Table01";
// Images carry the table when this many of its first characters stand in
// a row; the last three are not required.
inline constexpr size_t kParameterTableMarkerRequired = 10;

// Offset of the first marker that starts below length. A marker may reach
// past length into the rest of the buffer, never past the buffer's end.
std::optional<uint32_t> FindParameterTableMarker(const std::vector<uint8_t> &buffer, uint32_t length);

} // namespace orvane
