#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace orvane::sim {

// Intel HEX text for count bytes placed from baseAddress: data records of
// up to bytesPerRecord bytes (1-255) that never cross a 64 KB boundary,
// an extended linear address record before the first record of every
// 64 KB segment other than the first, and the end record. Lines end in CR LF.
std::string WriteIntelHex(const uint8_t *bytes, size_t count, uint32_t baseAddress = 0, size_t bytesPerRecord = 16);

} // namespace orvane::sim
