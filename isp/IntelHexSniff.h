#pragma once

#include <cstddef>
#include <cstdint>

namespace orvane {

// Whether bytes read as a raw binary image are in fact Intel HEX text: after
// any blanks and line ends, a colon and a line of at least one record's
// worth of hexadecimal digits. Firmware whose first bytes spell that is not
// to be expected; HEX text renamed (fw.hex.bak) is.
bool LooksLikeIntelHexText(const uint8_t *bytes, size_t length);

} // namespace orvane
