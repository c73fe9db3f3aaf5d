#include "cli/JsonEvent.h"

#include <charconv>
#include <cstdint>

namespace orvane {

namespace {

uint32_t HexCode(const std::string &text, size_t at) {
  uint32_t code = 0;
  std::from_chars(text.data() + at, text.data() + at + 4, code, 16);
  return code;
}

void AppendUtf8(std::string &out, uint32_t code) {
  if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
  }
  out += static_cast<char>(0x80 | (code & 0x3F));
}

// Escapes that stay escapes although the character is not ASCII.
bool StaysEscaped(uint32_t code) {
  return code == 0x2028 || code == 0x2029 || code == 0xFFFD;
}

} // namespace

std::string JsonLineText(const JsonEvent &event) {
  // nlohmann/json escapes every character past ASCII (DEL too) and puts
  // \ufffd for bytes that are not UTF-8; the characters that need no escape
  // go back to UTF-8, and \b and \f are spelt as the other control characters.
  const std::string ascii = event.dump(-1, ' ', true, JsonEvent::error_handler_t::replace);
  std::string line;
  line.reserve(ascii.size());
  for (size_t at = 0; at < ascii.size(); ++at) {
    if (ascii[at] != '\\') {
      line += ascii[at];
      continue;
    }
    const char kind = ascii[at + 1];
    if (kind == 'b' || kind == 'f') {
      line += kind == 'b' ? "\\u0008" : "\\u000c";
      ++at;
      continue;
    }
    if (kind != 'u') {
      line.append(ascii, at, 2);
      ++at;
      continue;
    }
    uint32_t code = HexCode(ascii, at + 2);
    size_t length = 6;
    // A character past U+FFFF comes as a pair of surrogates.
    if (code >= 0xD800 && code <= 0xDBFF) {
      code = 0x10000 + ((code - 0xD800) << 10) + (HexCode(ascii, at + 8) - 0xDC00);
      length = 12;
    }
    if (code < 0x80 || StaysEscaped(code))
      line.append(ascii, at, length);
    else
      AppendUtf8(line, code);
    at += length - 1;
  }
  return line;
}

} // namespace orvane
