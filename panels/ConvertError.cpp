#include "panels/ConvertError.h"

#include <cstdint>

namespace orvane {

int StrToInt(const std::string &text) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    negative = text[i] == '-';
    ++i;
  }
  int base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= text.size())
    throw ConvertError(text);
  int64_t value = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else
      throw ConvertError(text);
    value = value * base + digit;
    // Hexadecimal texts wrap into 32 bits as the toolkit's do; decimal ones must fit.
    if (base == 10 && value > (negative ? 2147483648LL : 2147483647LL))
      throw ConvertError(text);
    if (base == 16 && value > 0xFFFFFFFFLL)
      throw ConvertError(text);
  }
  if (base == 16)
    value = static_cast<int32_t>(static_cast<uint32_t>(value));
  return static_cast<int>(negative ? -value : value);
}

} // namespace orvane
