#include "isp/HexTextToInt.h"

#include <cstdint>

namespace orvane {

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  return -1;
}

int HexTextToInt(std::string_view text, int count) {
  uint32_t result = 0; // unsigned so that more than eight digits wrap instead of overflowing
  for (int i = 0; i < count; ++i) {
    const size_t at = static_cast<size_t>(i);
    const int digit = at < text.size() ? HexDigitValue(text[at]) : -1;
    result = result * 16 + static_cast<uint32_t>(digit < 0 ? 0 : digit);
  }
  return static_cast<int>(result);
}

} // namespace orvane
