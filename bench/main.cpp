// orvane-bench: how fast the one-button update, the image readers and the
// connection monitor run against the simulator. See bench/README.md.

#include "bench/BenchOptions.h"
#include "bench/BenchResults.h"
#include "bench/InterruptBench.h"
#include "bench/VerdictBench.h"
#include "version/ProgramVersion.h"

#include <cstdio>
#include <fstream>
#include <iostream>

namespace {

constexpr uint32_t kSmallImageBytes = 64 * 1024;
constexpr uint32_t kReaderImageBytes = 256 * 1024;
constexpr uint32_t kConcurrentImageBytes = 256 * 1024;
// Device time runs this much faster than real time, so a full-speed update
// of a whole part takes seconds, not a minute, per row.
constexpr double kConcurrentTimeScale = 20;

bool Wanted(const orvane::bench::BenchOptions &options, const std::string &part) {
  if (options.parts.empty())
    return true;
  for (const std::string &name : options.parts)
    if (name == part)
      return true;
  return false;
}

// The table of interrupted updates, printed; the parts that missed its marks.
std::vector<std::string> RunInterrupted(const orvane::bench::BenchOptions &options) {
  using namespace orvane::bench;
  std::vector<InterruptFigures> figures;
  std::vector<std::string> shortfalls;
  for (const auto &part : orvane::sim::FlashPartProfiles()) {
    if (!Wanted(options, part.name))
      continue;
    std::cerr << "interrupting updates of " << part.name << "\n";
    for (InterruptFigures &f : InterruptedUpdates(part, options.interruptCuts, options.scratchDirectory)) {
      if (!f.Kept()) {
        std::string at;
        for (size_t i = 0; i < f.partialAt.size() && i < 5; ++i)
          at += (i ? ", " : " at transfers ") + std::to_string(f.partialAt[i]);
        shortfalls.push_back(f.part + ", " + f.cut + ": " + std::to_string(f.partialImage) + " partial images" + at +
                             ", " + std::to_string(f.broughtBack) + " of " + std::to_string(f.runs) + " brought back");
      }
      figures.push_back(std::move(f));
    }
  }
  std::cout << "\n" << InterruptTable(figures);
  for (const std::string &shortfall : shortfalls)
    std::cout << "SHORT: " << shortfall << "\n";
  return shortfalls;
}

orvane::bench::BenchResults RunAll(const orvane::bench::BenchOptions &options) {
  using namespace orvane::bench;
  BenchResults results;
  for (const int devices : {1, 2, 4, 8}) {
    std::cerr << "updating " << devices << " devices at once on a full-speed bus\n";
    results.concurrent.push_back(RunConcurrentUpdateBench(devices, kConcurrentImageBytes, kFullSpeedTransferUs,
                                                          kConcurrentTimeScale, options.scratchDirectory));
  }
  if (options.onlyAtOnce)
    return results;
  for (const BusSpeed &speed : options.speeds) {
    SpeedRun run{speed, {}};
    for (const auto &part : orvane::sim::FlashPartProfiles()) {
      if (!Wanted(options, part.name))
        continue;
      std::cerr << "updating " << part.name << " on a " << speed.name << " bus\n";
      run.updates.push_back(RunUpdateBench(part, kSmallImageBytes, speed.transferLatencyUs));
      run.updates.push_back(RunUpdateBench(part, part.sizeBytes, speed.transferLatencyUs));
    }
    results.runs.push_back(std::move(run));
  }
  results.readers.push_back(TimeHexReader(options.scratchDirectory, kReaderImageBytes, options.readerRuns));
  results.readers.push_back(TimeBinaryReader(options.scratchDirectory, kReaderImageBytes, options.readerRuns));
  results.monitor.push_back(TimeMonitorSearch(options.monitorDevices, options.monitorTicks));
  results.monitor.push_back(TimeMonitorFind(options.monitorDevices, options.monitorTicks));
  results.monitor.push_back(TimeMonitorPresent(options.monitorDevices, options.monitorTicks));
  return results;
}

} // namespace

int main(int argc, char **argv) {
  using namespace orvane::bench;
  std::string error;
  const auto options = ParseBenchOptions(std::vector<std::string>(argv + 1, argv + argc), &error);
  if (!options) {
    std::cerr << "orvane-bench: " << error << "\n" << BenchUsage();
    return 2;
  }
  if (options->version) {
    std::cout << "orvane-bench " << orvane::kProgramVersion << '\n';
    return 0;
  }
  if (options->onlyInterrupted)
    return RunInterrupted(*options).empty() ? 0 : 1;
  const BenchResults results = RunAll(*options);
  auto shortfalls = ShortfallsOf(results);
  std::vector<VerdictFigures> verdicts;
  for (const auto &part : orvane::sim::FlashPartProfiles()) {
    if (!Wanted(*options, part.name))
      continue;
    std::cerr << "timing the verdicts on " << part.name << "\n";
    for (VerdictFigures &figures : TimeToVerdict(part, kSmallImageBytes, kFullSpeedTransferUs)) {
      if (!figures.Kept())
        shortfalls.push_back(figures.part + ", " + figures.fault + ": " +
                             (figures.othersUntouched ? "not the verdict it must have within the mark"
                                                      : "another dongle was written to"));
      verdicts.push_back(std::move(figures));
    }
  }
  std::ofstream json(options->jsonPath);
  json << ResultsJson(results, shortfalls);
  if (!json) {
    std::cerr << "orvane-bench: cannot write " << options->jsonPath << "\n";
    return 2;
  }
  std::cout << ResultsTable(results);
  std::cout << "\n" << VerdictTable(verdicts);
  for (const std::string &shortfall : RunInterrupted(*options))
    shortfalls.push_back(shortfall);
  std::cout << "\nResults written to " << options->jsonPath << "\n";
  for (const std::string &shortfall : shortfalls)
    std::cout << "SHORT: " << shortfall << "\n";
  return shortfalls.empty() ? 0 : 1;
}
