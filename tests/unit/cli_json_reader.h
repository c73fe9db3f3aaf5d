#pragma once

// A strict reader of one JSON text, for checking what orvane-update writes:
// anything RFC 8259 does not allow (a raw control character in a string, a
// bad escape, a lone surrogate, bytes that are not UTF-8, trailing text)
// makes it fail.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace orvane::cli_test {

struct JsonValue {
  enum class Kind { Null, Bool, Number, String, Array, Object };
  Kind kind = Kind::Null;
  bool flag = false;
  double number = 0;
  std::string text;
  std::vector<JsonValue> items;
  std::map<std::string, JsonValue> members;

  bool Has(const std::string &key) const { return members.count(key) != 0; }
  const JsonValue &operator[](const std::string &key) const {
    static const JsonValue missing;
    const auto it = members.find(key);
    return it == members.end() ? missing : it->second;
  }
};

class JsonReader {
public:
  static std::optional<JsonValue> Parse(const std::string &text) {
    JsonReader reader(text);
    JsonValue value;
    if (!reader.Value(value))
      return std::nullopt;
    reader.Blank();
    if (reader.at_ != text.size())
      return std::nullopt;
    return value;
  }

private:
  explicit JsonReader(const std::string &text) : s_(text) {}

  bool End() const { return at_ >= s_.size(); }
  char Peek() const { return End() ? '\0' : s_[at_]; }
  void Blank() {
    while (!End() && (s_[at_] == ' ' || s_[at_] == '\t' || s_[at_] == '\n' || s_[at_] == '\r'))
      ++at_;
  }
  bool Literal(const char *word) {
    const std::string w = word;
    if (s_.compare(at_, w.size(), w) != 0)
      return false;
    at_ += w.size();
    return true;
  }

  bool Value(JsonValue &v) {
    Blank();
    switch (Peek()) {
    case '{':
      return Object(v);
    case '[':
      return Array(v);
    case '"':
      v.kind = JsonValue::Kind::String;
      return String(v.text);
    case 't':
      v.kind = JsonValue::Kind::Bool;
      v.flag = true;
      return Literal("true");
    case 'f':
      v.kind = JsonValue::Kind::Bool;
      return Literal("false");
    case 'n':
      return Literal("null");
    default:
      return Number(v);
    }
  }

  bool Object(JsonValue &v) {
    v.kind = JsonValue::Kind::Object;
    ++at_;
    Blank();
    if (Peek() == '}')
      return ++at_, true;
    for (;;) {
      Blank();
      std::string key;
      if (Peek() != '"' || !String(key))
        return false;
      Blank();
      if (Peek() != ':')
        return false;
      ++at_;
      JsonValue member;
      if (!Value(member) || v.members.count(key))
        return false;
      v.members.emplace(key, std::move(member));
      Blank();
      if (Peek() == ',') {
        ++at_;
        continue;
      }
      if (Peek() != '}')
        return false;
      ++at_;
      return true;
    }
  }

  bool Array(JsonValue &v) {
    v.kind = JsonValue::Kind::Array;
    ++at_;
    Blank();
    if (Peek() == ']')
      return ++at_, true;
    for (;;) {
      JsonValue item;
      if (!Value(item))
        return false;
      v.items.push_back(std::move(item));
      Blank();
      if (Peek() == ',') {
        ++at_;
        continue;
      }
      if (Peek() != ']')
        return false;
      ++at_;
      return true;
    }
  }

  bool Number(JsonValue &v) {
    const size_t start = at_;
    if (Peek() == '-')
      ++at_;
    if (Peek() == '0') {
      ++at_;
    } else if (Peek() >= '1' && Peek() <= '9') {
      while (Peek() >= '0' && Peek() <= '9')
        ++at_;
    } else {
      return false;
    }
    if (Peek() == '.') {
      ++at_;
      if (!(Peek() >= '0' && Peek() <= '9'))
        return false;
      while (Peek() >= '0' && Peek() <= '9')
        ++at_;
    }
    if (Peek() == 'e' || Peek() == 'E') {
      ++at_;
      if (Peek() == '+' || Peek() == '-')
        ++at_;
      if (!(Peek() >= '0' && Peek() <= '9'))
        return false;
      while (Peek() >= '0' && Peek() <= '9')
        ++at_;
    }
    v.kind = JsonValue::Kind::Number;
    v.number = std::stod(s_.substr(start, at_ - start));
    return true;
  }

  static void AppendUtf8(std::string &out, uint32_t code) {
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (code >> 18));
      out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }

  bool Hex4(uint32_t &code) {
    if (at_ + 4 > s_.size())
      return false;
    code = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = s_[at_++];
      code <<= 4;
      if (c >= '0' && c <= '9')
        code |= static_cast<uint32_t>(c - '0');
      else if (c >= 'a' && c <= 'f')
        code |= static_cast<uint32_t>(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F')
        code |= static_cast<uint32_t>(c - 'A' + 10);
      else
        return false;
    }
    return true;
  }

  // One UTF-8 sequence copied as it is; false when it is not valid UTF-8.
  bool RawCharacter(std::string &out) {
    const auto lead = static_cast<unsigned char>(s_[at_]);
    size_t length = lead < 0x80             ? 1
                    : (lead & 0xE0) == 0xC0 ? 2
                    : (lead & 0xF0) == 0xE0 ? 3
                    : (lead & 0xF8) == 0xF0 ? 4
                                            : 0;
    if (length == 0 || at_ + length > s_.size() || (lead >= 0xC0 && lead < 0xC2) || lead > 0xF4)
      return false;
    for (size_t k = 1; k < length; ++k)
      if ((static_cast<unsigned char>(s_[at_ + k]) & 0xC0) != 0x80)
        return false;
    out.append(s_, at_, length);
    at_ += length;
    return true;
  }

  bool String(std::string &out) {
    ++at_;
    for (;;) {
      if (End())
        return false;
      const auto c = static_cast<unsigned char>(s_[at_]);
      if (c == '"') {
        ++at_;
        return true;
      }
      if (c < 0x20)
        return false;
      if (c != '\\') {
        if (!RawCharacter(out))
          return false;
        continue;
      }
      ++at_;
      const char e = Peek();
      ++at_;
      switch (e) {
      case '"':
      case '\\':
      case '/':
        out += e;
        break;
      case 'b':
        out += '\b';
        break;
      case 'f':
        out += '\f';
        break;
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      case 't':
        out += '\t';
        break;
      case 'u': {
        uint32_t code = 0;
        if (!Hex4(code))
          return false;
        if (code >= 0xDC00 && code <= 0xDFFF)
          return false;
        if (code >= 0xD800 && code <= 0xDBFF) {
          uint32_t low = 0;
          if (!Literal("\\u") || !Hex4(low) || low < 0xDC00 || low > 0xDFFF)
            return false;
          code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        }
        AppendUtf8(out, code);
        break;
      }
      default:
        return false;
      }
    }
  }

  const std::string &s_;
  size_t at_ = 0;
};

// Each line of text parsed; an empty optional for a line that is not JSON.
inline std::vector<std::optional<JsonValue>> ParseJsonLines(const std::string &text) {
  std::vector<std::optional<JsonValue>> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos)
      end = text.size();
    lines.push_back(JsonReader::Parse(text.substr(start, end - start)));
    start = end + 1;
  }
  return lines;
}

} // namespace orvane::cli_test
