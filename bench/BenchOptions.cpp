#include "bench/BenchOptions.h"

#include "sim/FlashPartProfile.h"

#include <charconv>

namespace orvane::bench {

namespace {

bool ParseCount(const std::string &text, uint64_t max, uint64_t &value) {
  const char *end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end && value > 0 && value <= max;
}

std::optional<std::vector<BusSpeed>> ParseSpeeds(const std::string &text) {
  if (text == "full")
    return std::vector<BusSpeed>{{"full", kFullSpeedTransferUs}};
  if (text == "high")
    return std::vector<BusSpeed>{{"high", kHighSpeedTransferUs}};
  if (text == "both")
    return std::vector<BusSpeed>{{"full", kFullSpeedTransferUs}, {"high", kHighSpeedTransferUs}};
  return std::nullopt;
}

} // namespace

std::string BenchUsage() {
  return "usage: orvane-bench [--speed full|high|both] [--latency-us N] [--part NAME]... [--json FILE]\n"
         "                    [--scratch DIR] [--reader-runs N] [--monitor-devices N] [--monitor-ticks N]\n"
         "                    [--only at-once]\n";
}

std::optional<BenchOptions> ParseBenchOptions(const std::vector<std::string> &args, std::string *error) {
  BenchOptions options;
  auto fail = [&](const std::string &why) -> std::optional<BenchOptions> {
    *error = why;
    return std::nullopt;
  };
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string &option = args[i];
    if (i + 1 >= args.size())
      return fail("option " + option + " needs a value");
    const std::string &value = args[++i];
    uint64_t count = 0;
    if (option == "--speed") {
      const auto speeds = ParseSpeeds(value);
      if (!speeds)
        return fail("--speed takes full, high or both");
      options.speeds = *speeds;
    } else if (option == "--latency-us") {
      if (!ParseCount(value, 1'000'000, count))
        return fail("--latency-us takes a number of microseconds from 1 to 1000000");
      options.speeds = {{value + " us", count}};
    } else if (option == "--part") {
      const auto part = sim::FindFlashPart(value);
      if (!part)
        return fail("no flash part " + value);
      options.parts.push_back(part->name);
    } else if (option == "--only" && value == "at-once") {
      options.onlyAtOnce = true;
    } else if (option == "--json") {
      options.jsonPath = value;
    } else if (option == "--scratch") {
      options.scratchDirectory = value;
    } else if (option == "--reader-runs" && ParseCount(value, 10'000, count)) {
      options.readerRuns = static_cast<int>(count);
    } else if (option == "--monitor-devices" && ParseCount(value, 4096, count)) {
      options.monitorDevices = static_cast<int>(count);
    } else if (option == "--monitor-ticks" && ParseCount(value, 100'000, count)) {
      options.monitorTicks = static_cast<int>(count);
    } else {
      return fail("unknown option or bad value: " + option + " " + value);
    }
  }
  return options;
}

} // namespace orvane::bench
