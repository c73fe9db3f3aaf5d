#pragma once

#include <string_view>

namespace orvane {

// Value of one hexadecimal digit (either case), or -1 for any other character.
int HexDigitValue(char c);

// The first count characters of text as hexadecimal digits. Any other
// character, and a position past the end of text, counts as digit 0.
int HexTextToInt(std::string_view text, int count);

} // namespace orvane
