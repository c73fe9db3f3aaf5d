#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace orvane::devsim {

// The whole text as an unsigned number in the given base ("0x" allowed for
// base 16), at most max; nullopt for anything else.
std::optional<uint64_t> ParseUnsigned(std::string_view text, int base, uint64_t max);

} // namespace orvane::devsim
