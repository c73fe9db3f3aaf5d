#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace orvane {

// Why bytes meant as a raw binary image are text and no firmware, as a
// phrase for the refusal; empty when they may be firmware. Intel HEX text
// is found behind a byte-order mark, blanks, blank or comment lines before
// its first record, in UTF-8 or UTF-16 (renamed HEX text, fw.hex.bak, is
// to be expected); any other text that is wholly printable and has line
// ends is no image either. Firmware that looks like that is not to be
// expected.
std::string TextImageRefusal(const uint8_t *bytes, size_t length);

} // namespace orvane
