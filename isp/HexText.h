#pragma once

#include <cstdint>
#include <string>

namespace orvane {

// Upper-case hexadecimal with a fixed number of digits, as labels show values.
std::string HexDigits(uint32_t value, int digits);
inline std::string Hex2(uint32_t value) {
  return HexDigits(value & 0xFF, 2);
}
inline std::string Hex6(uint32_t value) {
  return HexDigits(value & 0xFFFFFF, 6);
}

} // namespace orvane
