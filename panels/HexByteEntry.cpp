#include "panels/HexByteEntry.h"

#include "panels/ConvertError.h"

namespace orvane {

uint8_t HexByteEntry(const std::string &text) {
  return static_cast<uint8_t>(StrToInt("0x" + text) & 0xFF);
}

} // namespace orvane
