#pragma once

#include <cstdint>
#include <string>

namespace orvane::bench {

struct MonitorFigures {
  std::string scenario;
  int devices = 0;
  int ticks = 0;
  uint64_t meanNs = 0;
  uint64_t longestNs = 0;
};

// Ticks of the connection monitor while devices devices are present:
// "search" none of them supported, the monitor cycling through its targets;
// "find" all of them in update mode, every one matched and probed;
// "present" the found device checked for once a second.
MonitorFigures TimeMonitorSearch(int devices, int ticks);
MonitorFigures TimeMonitorFind(int devices, int ticks);
MonitorFigures TimeMonitorPresent(int devices, int ticks);

} // namespace orvane::bench
