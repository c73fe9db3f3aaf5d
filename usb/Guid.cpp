#include "usb/DeviceBus.h"

#include <cstdio>

namespace orvane {

std::array<uint8_t, 16> Guid::bytes() const {
  std::array<uint8_t, 16> b{};
  for (int i = 0; i < 4; ++i)
    b[i] = static_cast<uint8_t>(data1 >> (8 * i));
  for (int i = 0; i < 2; ++i) {
    b[4 + i] = static_cast<uint8_t>(data2 >> (8 * i));
    b[6 + i] = static_cast<uint8_t>(data3 >> (8 * i));
  }
  for (int i = 0; i < 8; ++i)
    b[8 + i] = data4[i];
  return b;
}

std::string Guid::text() const {
  char s[40];
  std::snprintf(s, sizeof s, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", data1, data2, data3, data4[0],
                data4[1], data4[2], data4[3], data4[4], data4[5], data4[6], data4[7]);
  return s;
}

} // namespace orvane
