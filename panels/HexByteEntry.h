#pragma once

#include <cstdint>
#include <string>

namespace orvane {

// A byte typed as hexadecimal digits without prefix: "0x" + text through
// StrToInt, low 8 bits kept. Throws ConvertError for a text that does not
// convert, naming the prefixed text.
uint8_t HexByteEntry(const std::string &text);

} // namespace orvane
