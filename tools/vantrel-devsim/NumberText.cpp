#include "NumberText.h"

#include <charconv>

namespace orvane::devsim {

std::optional<uint64_t> ParseUnsigned(std::string_view text, int base, uint64_t max) {
  if (base == 16 && text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
    text.remove_prefix(2);
  if (text.empty())
    return std::nullopt;
  uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (error != std::errc() || end != text.data() + text.size() || value > max)
    return std::nullopt;
  return value;
}

} // namespace orvane::devsim
