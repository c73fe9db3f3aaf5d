#include "isp/IntelHexSniff.h"

#include "isp/HexTextToInt.h"

#include <optional>
#include <string_view>

namespace orvane {

namespace {

// Byte count, address, record type and checksum: the digits of an empty record.
constexpr size_t kShortestRecordDigits = 10;
// Stands for a character beyond ASCII once the text is narrowed.
constexpr char kOtherCharacter = '\x80';

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

bool IsLineEnd(char c) {
  return c == '\r' || c == '\n';
}

// Printable ASCII, a blank, a line end, or a character beyond ASCII.
bool IsTextCharacter(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return (byte >= 0x20 && byte != 0x7F) || IsBlank(c) || IsLineEnd(c);
}

// The text as one byte per character: UTF-16 (with a byte-order mark, or
// ASCII whose every other byte is zero) is narrowed, any character beyond
// ASCII becoming kOtherCharacter; nullopt when it is no UTF-16.
std::optional<std::string> NarrowedUtf16(const uint8_t *bytes, size_t length) {
  if (length < 2 || length % 2 != 0)
    return std::nullopt;
  size_t at = 0;
  bool littleEndian;
  if (bytes[0] == 0xFF && bytes[1] == 0xFE) {
    littleEndian = true;
    at = 2;
  } else if (bytes[0] == 0xFE && bytes[1] == 0xFF) {
    littleEndian = false;
    at = 2;
  } else if (bytes[1] == 0 && bytes[0] != 0) {
    littleEndian = true;
  } else if (bytes[0] == 0 && bytes[1] != 0) {
    littleEndian = false;
  } else {
    return std::nullopt;
  }
  const bool marked = at == 2;
  std::string narrow;
  narrow.reserve((length - at) / 2);
  for (; at < length; at += 2) {
    const unsigned unit = littleEndian ? bytes[at] | (bytes[at + 1] << 8) : (bytes[at] << 8) | bytes[at + 1];
    if (unit < 0x80) {
      narrow += static_cast<char>(unit);
    } else if (marked) {
      narrow += kOtherCharacter;
    } else {
      // Without a mark only ASCII text with zero high bytes counts: binary
      // data could otherwise pass for anything.
      return std::nullopt;
    }
  }
  return narrow;
}

// Whether the bytes are UTF-8 text: every byte beyond ASCII belongs to a
// whole sequence.
bool IsUtf8(std::string_view text) {
  size_t at = 0;
  while (at < text.size()) {
    const auto lead = static_cast<unsigned char>(text[at]);
    size_t extra;
    if (lead < 0x80)
      extra = 0;
    else if (lead >= 0xC2 && lead <= 0xDF)
      extra = 1;
    else if ((lead & 0xF0) == 0xE0)
      extra = 2;
    else if (lead >= 0xF0 && lead <= 0xF4)
      extra = 3;
    else
      return false;
    if (at + extra >= text.size())
      return false;
    for (size_t i = 1; i <= extra; ++i)
      if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80)
        return false;
    at += extra + 1;
  }
  return true;
}

// A record line: a colon, then at least one record's worth of digits in
// pairs, then nothing but blanks.
bool IsRecordLine(std::string_view line) {
  if (line.empty() || line[0] != ':')
    return false;
  size_t digits = 1;
  while (digits < line.size() && HexDigitValue(line[digits]) >= 0)
    ++digits;
  for (size_t rest = digits; rest < line.size(); ++rest)
    if (!IsBlank(line[rest]))
      return false;
  --digits;
  return digits >= kShortestRecordDigits && digits % 2 == 0;
}

// Whether the text's first line with a record on it comes after nothing
// but text: blank lines and lines of words (comments, headings).
bool HasIntelHexRecords(std::string_view text) {
  size_t at = 0;
  while (at < text.size()) {
    size_t end = at;
    while (end < text.size() && !IsLineEnd(text[end]))
      ++end;
    std::string_view line = text.substr(at, end - at);
    while (!line.empty() && IsBlank(line.front()))
      line.remove_prefix(1);
    if (!line.empty()) {
      if (line[0] == ':')
        return IsRecordLine(line);
      for (const char c : line)
        if (!IsTextCharacter(c))
          return false;
    }
    at = end;
    while (at < text.size() && IsLineEnd(text[at]))
      ++at;
  }
  return false;
}

bool IsTextWithLineEnds(std::string_view text) {
  bool lineEnd = false;
  for (const char c : text) {
    if (!IsTextCharacter(c))
      return false;
    lineEnd = lineEnd || IsLineEnd(c);
  }
  return lineEnd;
}

} // namespace

std::string TextImageRefusal(const uint8_t *bytes, size_t length) {
  if (const auto wide = NarrowedUtf16(bytes, length)) {
    if (HasIntelHexRecords(*wide))
      return "the file holds Intel HEX text in UTF-16, not a binary image; save it as plain text with a name "
             "ending in .hex";
    if (IsTextWithLineEnds(*wide))
      return "the file holds UTF-16 text, not a binary image";
  }
  std::string_view text(reinterpret_cast<const char *>(bytes), length);
  constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
  if (text.starts_with(kUtf8Mark))
    text.remove_prefix(kUtf8Mark.size());
  if (HasIntelHexRecords(text))
    return "the file holds Intel HEX text, not a binary image; give it a name ending in .hex";
  if (IsTextWithLineEnds(text) && IsUtf8(text))
    return "the file holds text, not a binary image";
  return {};
}

} // namespace orvane
