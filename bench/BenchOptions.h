#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orvane::bench {

// The bus the latency model stands for: one control transfer takes a
// frame on a full-speed bus, a microframe on a high-speed one.
struct BusSpeed {
  std::string name;
  uint64_t transferLatencyUs = 0;
};

inline constexpr uint64_t kFullSpeedTransferUs = 1000;
inline constexpr uint64_t kHighSpeedTransferUs = 125;

struct BenchOptions {
  std::vector<BusSpeed> speeds{{"full", kFullSpeedTransferUs}, {"high", kHighSpeedTransferUs}};
  std::vector<std::string> parts; // names of flash parts; empty: all
  std::string jsonPath = "bench-results.json";
  std::string scratchDirectory = ".";
  int readerRuns = 15;
  int monitorDevices = 64;
  int monitorTicks = 50;
  bool onlyAtOnce = false;      // just the table of devices updated at once
  bool onlyInterrupted = false; // just the table of interrupted updates
  int interruptCuts = 200;      // transfers cut per part and kind of cut
  bool version = false;         // print the program's version and nothing else
};

// nullopt with the reason in *error for options it does not know.
std::optional<BenchOptions> ParseBenchOptions(const std::vector<std::string> &args, std::string *error);
std::string BenchUsage();

} // namespace orvane::bench
