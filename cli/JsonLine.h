#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace orvane {

// text as a JSON string with its quotes. Control characters, quotes and
// backslashes are escaped; bytes that are not valid UTF-8 (a file name can
// hold anything) become U+FFFD, so the line is always valid JSON.
std::string JsonQuoted(std::string_view text);

// One JSON object on one line, members in the order added.
class JsonLine {
public:
  JsonLine &Text(std::string_view key, std::string_view value);
  JsonLine &Number(std::string_view key, int64_t value);
  JsonLine &Number(std::string_view key, uint64_t value);
  JsonLine &Number(std::string_view key, uint32_t value) { return Number(key, uint64_t{value}); }
  JsonLine &Number(std::string_view key, int value) { return Number(key, int64_t{value}); }
  JsonLine &Flag(std::string_view key, bool value);
  JsonLine &Null(std::string_view key);

  // "{...}" without a line end.
  std::string str() const { return body_ + "}"; }

private:
  JsonLine &Member(std::string_view key, const std::string &value);

  std::string body_ = "{";
};

} // namespace orvane
