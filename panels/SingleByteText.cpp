#include "panels/SingleByteText.h"

#include "isp/HexText.h"

#include <cstdint>
#include <optional>
#include <utility>

namespace orvane {
namespace {

bool Continuation(unsigned char c) {
  return (c & 0xC0) == 0x80;
}

// Decodes one UTF-8 sequence at position and moves past it; nullopt for a
// malformed sequence (which leaves position where it was).
std::optional<uint32_t> NextCodePoint(std::string_view text, size_t &position) {
  const auto lead = static_cast<unsigned char>(text[position]);
  size_t length = 0;
  uint32_t value = 0;
  uint32_t smallest = 0;
  if (lead < 0x80) {
    ++position;
    return lead;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2, value = lead & 0x1F, smallest = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, value = lead & 0x0F, smallest = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, value = lead & 0x07, smallest = 0x10000;
  } else {
    return std::nullopt;
  }
  if (text.size() - position < length)
    return std::nullopt;
  for (size_t i = 1; i < length; ++i) {
    const auto c = static_cast<unsigned char>(text[position + i]);
    if (!Continuation(c))
      return std::nullopt;
    value = (value << 6) | (c & 0x3F);
  }
  if (value < smallest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
    return std::nullopt;
  position += length;
  return value;
}

// U+ and at least four digits, as characters are usually named.
std::string CodePointName(uint32_t codePoint) {
  int digits = 4;
  while (digits < 6 && (codePoint >> (4 * digits)) != 0)
    ++digits;
  return "U+" + HexDigits(codePoint, digits);
}

bool Sendable(uint32_t codePoint) {
  return (codePoint >= 0x20 && codePoint <= 0x7E) || (codePoint >= 0xA0 && codePoint <= 0xFF);
}

constexpr const char *kAllowed = "only the printable Latin-1 characters (U+0020 to U+007E and U+00A0 to U+00FF) "
                                 "can be sent to the device";

SingleByteText Refused(std::string why) {
  return SingleByteText{false, {}, std::move(why)};
}

} // namespace

SingleByteText ToSingleByteText(std::string_view text) {
  SingleByteText result{true, {}, {}};
  size_t position = 0;
  while (position < text.size()) {
    const std::optional<uint32_t> codePoint = NextCodePoint(text, position);
    if (!codePoint)
      return Refused(std::string("The text is not valid UTF-8; ") + kAllowed + ".");
    if (!Sendable(*codePoint))
      return Refused("The text holds the character " + CodePointName(*codePoint) + ", but " + kAllowed + ".");
    result.bytes.push_back(static_cast<char>(*codePoint));
  }
  return result;
}

} // namespace orvane
