#include "bench/BenchOptions.h"

#include "sim/FlashPartProfile.h"

#include "options/OptionReader.h"

#include <charconv>
#include <tuple>

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
         "                    [--interrupt-cuts N] [--only at-once|interrupted]\n";
}

namespace {

// What the reader tells, in our words.
options::Words OutcomeWords() {
  using Outcome = options::ReadOutcome;
  return {
      .missingLastValue = [](const Outcome &outcome) { return "option " + outcome.argument + " needs a value"; },
      // Options come in pairs with their values.
      .unknown =
          [](const Outcome &outcome) {
            if (!outcome.next)
              return "option " + outcome.argument + " needs a value";
            return "unknown option or bad value: " + outcome.argument + " " + *outcome.next;
          },
      .flagWithValue = [](const Outcome &outcome) { return "option " + outcome.argument + " takes no value"; },
  };
}

} // namespace

std::optional<BenchOptions> ParseBenchOptions(const std::vector<std::string> &args, std::string *error) {
  BenchOptions options;
  using Refusal = std::optional<std::string>;
  // The arguments as given: a word after one dash is short options, and
  // "--name=" takes the next argument.
  options::OptionReader reader(options::Spelling::AsGiven);
  reader.Flag("--version", options.version);
  reader.Value("--speed", [&](const std::string &value) -> Refusal {
    const auto speeds = ParseSpeeds(value);
    if (!speeds)
      return "--speed takes full, high or both";
    options.speeds = *speeds;
    return std::nullopt;
  });
  reader.Value("--latency-us", [&](const std::string &value) -> Refusal {
    uint64_t count = 0;
    if (!ParseCount(value, 1'000'000, count))
      return "--latency-us takes a number of microseconds from 1 to 1000000";
    options.speeds = {{value + " us", count}};
    return std::nullopt;
  });
  reader.Value("--part", [&](const std::string &value) -> Refusal {
    const auto part = sim::FindFlashPart(value);
    if (!part)
      return "no flash part " + value;
    options.parts.push_back(part->name);
    return std::nullopt;
  });
  reader.Value("--only", [&](const std::string &value) -> Refusal {
    if (value == "at-once")
      options.onlyAtOnce = true;
    else if (value == "interrupted")
      options.onlyInterrupted = true;
    else
      return "unknown option or bad value: --only " + value;
    return std::nullopt;
  });
  reader.Value("--json", [&](const std::string &value) -> Refusal {
    options.jsonPath = value;
    return std::nullopt;
  });
  reader.Value("--scratch", [&](const std::string &value) -> Refusal {
    options.scratchDirectory = value;
    return std::nullopt;
  });
  for (const auto &[name, max, field] : {std::tuple{"--reader-runs", uint64_t{10'000}, &options.readerRuns},
                                         {"--monitor-devices", uint64_t{4096}, &options.monitorDevices},
                                         {"--monitor-ticks", uint64_t{100'000}, &options.monitorTicks},
                                         {"--interrupt-cuts", uint64_t{100'000}, &options.interruptCuts}})
    reader.Value(name, [name = std::string(name), max = max, field = field](const std::string &value) -> Refusal {
      uint64_t count = 0;
      if (!ParseCount(value, max, count))
        return "unknown option or bad value: " + name + " " + value;
      *field = static_cast<int>(count);
      return std::nullopt;
    });
  const options::ReadOutcome outcome = reader.Read(args);
  // What is wrong before a last option that misses its value is told first.
  if (outcome.kind == options::ReadOutcome::Kind::MissingLastValue &&
      !ParseBenchOptions({args.begin(), args.end() - 1}, error))
    return std::nullopt;
  if (auto refusal = options::Tell(outcome, OutcomeWords())) {
    *error = *refusal;
    return std::nullopt;
  }
  return options;
}

} // namespace orvane::bench
