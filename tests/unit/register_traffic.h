#pragma once

#include "testing/InProcessTransport.h"

#include <cstdio>
#include <string>
#include <vector>

namespace orvane::test {

// Each recorded transfer as "W aa=vv" (register write) or "R aa" (register
// read); anything else in full.
inline std::vector<std::string> RegisterTraffic(const InProcessTransport &transport) {
  std::vector<std::string> lines;
  for (const RecordedTransfer &t : transport.Transfers()) {
    char line[64];
    const SetupPacket &s = t.setup;
    if (s.requestType == 0x43 && s.request == 0x90 && s.value == 0 && s.length == 1 && t.out.size() == 1)
      std::snprintf(line, sizeof line, "W %02X=%02X", s.index, t.out[0]);
    else if (s.requestType == 0xC3 && s.request == 0x91 && s.value == 0 && s.length == 1)
      std::snprintf(line, sizeof line, "R %02X", s.index);
    else
      std::snprintf(line, sizeof line, "%02X %02X %04X %04X %u", s.requestType, s.request, s.value, s.index, s.length);
    lines.emplace_back(line);
  }
  return lines;
}

} // namespace orvane::test
