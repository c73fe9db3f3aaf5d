#include "isp/IntelHexSniff.h"

#include "isp/HexTextToInt.h"

namespace orvane {

namespace {
// Byte count, address, record type and checksum: the digits of an empty record.
constexpr size_t kShortestRecordDigits = 10;

bool IsBlank(uint8_t c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
} // namespace

bool LooksLikeIntelHexText(const uint8_t *bytes, size_t length) {
  size_t at = 0;
  while (at < length && IsBlank(bytes[at]))
    ++at;
  if (at == length || bytes[at] != ':')
    return false;
  size_t digits = 0;
  for (++at; at < length && bytes[at] != '\r' && bytes[at] != '\n'; ++at) {
    if (HexDigitValue(static_cast<char>(bytes[at])) < 0)
      return false;
    ++digits;
  }
  return digits >= kShortestRecordDigits && digits % 2 == 0;
}

} // namespace orvane
