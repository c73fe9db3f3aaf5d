#pragma once

#include "bench/BenchOptions.h"
#include "bench/ConcurrentUpdateBench.h"
#include "bench/MonitorBench.h"
#include "bench/ReaderBench.h"
#include "bench/UpdateBench.h"

#include <string>
#include <vector>

namespace orvane::bench {

inline constexpr double kMaxRatioToMinimum = 1.10;
inline constexpr uint64_t kMaxLoopGapHostNs = 100'000'000;

struct SpeedRun {
  BusSpeed speed;
  std::vector<UpdateFigures> updates;
};

struct BenchResults {
  std::vector<SpeedRun> runs;
  std::vector<ReaderFigures> readers;
  std::vector<MonitorFigures> monitor;
  std::vector<ConcurrentFigures> concurrent; // one device first
};

// What the figures fall short of: every update succeeds with the image in
// the flash, a whole-part update comes within 1.10 of the minimum, and the
// message loop never waits 100 ms of host time; devices updated at once all
// succeed, the most of them within 1.3 times the wall time of one. Empty
// when all hold.
std::vector<std::string> ShortfallsOf(const BenchResults &results);

std::string ResultsJson(const BenchResults &results, const std::vector<std::string> &shortfalls);
std::string ResultsTable(const BenchResults &results);

} // namespace orvane::bench
