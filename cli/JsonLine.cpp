#include "cli/JsonLine.h"

#include <cstdio>

namespace orvane {

namespace {

constexpr const char *kReplacement = "\\ufffd";

// Length of the valid UTF-8 sequence that starts text[i], 0 when it is not one.
size_t Utf8SequenceLength(std::string_view text, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  size_t length;
  uint32_t minimum;
  uint32_t code;
  if (lead < 0x80)
    return 1;
  if ((lead & 0xE0) == 0xC0) {
    length = 2;
    minimum = 0x80;
    code = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    minimum = 0x800;
    code = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4;
    minimum = 0x10000;
    code = lead & 0x07;
  } else {
    return 0;
  }
  if (i + length > text.size())
    return 0;
  for (size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80)
      return 0;
    code = (code << 6) | (byte(i + k) & 0x3F);
  }
  // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
  if (code < minimum || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF)
    return 0;
  return length;
}

} // namespace

std::string JsonQuoted(std::string_view text) {
  std::string quoted = "\"";
  quoted.reserve(text.size() + 2);
  size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    const size_t length = Utf8SequenceLength(text, i);
    if (length == 0) {
      quoted += kReplacement;
      ++i;
      continue;
    }
    if (length > 1) {
      const std::string_view sequence = text.substr(i, length);
      // Line and paragraph separators end lines in some readers of JSON lines.
      if (sequence == "\xE2\x80\xA8")
        quoted += "\\u2028";
      else if (sequence == "\xE2\x80\xA9")
        quoted += "\\u2029";
      else
        quoted += sequence;
      i += length;
      continue;
    }
    switch (c) {
    case '"':
      quoted += "\\\"";
      break;
    case '\\':
      quoted += "\\\\";
      break;
    case '\n':
      quoted += "\\n";
      break;
    case '\r':
      quoted += "\\r";
      break;
    case '\t':
      quoted += "\\t";
      break;
    default:
      if (c < 0x20 || c == 0x7F) {
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\u%04x", c);
        quoted += escape;
      } else {
        quoted += static_cast<char>(c);
      }
    }
    ++i;
  }
  quoted += '"';
  return quoted;
}

JsonLine &JsonLine::Member(std::string_view key, const std::string &value) {
  if (body_.size() > 1)
    body_ += ',';
  body_ += JsonQuoted(key);
  body_ += ':';
  body_ += value;
  return *this;
}

JsonLine &JsonLine::Text(std::string_view key, std::string_view value) {
  return Member(key, JsonQuoted(value));
}

JsonLine &JsonLine::Number(std::string_view key, int64_t value) {
  return Member(key, std::to_string(value));
}

JsonLine &JsonLine::Number(std::string_view key, uint64_t value) {
  return Member(key, std::to_string(value));
}

JsonLine &JsonLine::Flag(std::string_view key, bool value) {
  return Member(key, value ? "true" : "false");
}

JsonLine &JsonLine::Null(std::string_view key) {
  return Member(key, "null");
}

} // namespace orvane
