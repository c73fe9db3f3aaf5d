#include "bench/BenchOptions.h"

#include "sim/FlashPartProfile.h"

#include <CLI/CLI.hpp>

#include <algorithm>

#include <charconv>
#include <functional>
#include <map>
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
         "                    [--only at-once]\n";
}

namespace {

// CLI11 reads the command line; each option is then taken in the order
// given, so the first thing wrong is the one told, in our words.
class OptionReader {
public:
  // Takes one value of an option (a flag's is empty); a refusal when it cannot.
  using Take = std::function<std::optional<std::string>(const std::string &value)>;

  OptionReader() {
    // No help text: a refusal shows the usage.
    app_.set_help_flag();
    // Anything it does not know is refused below, in our words.
    app_.allow_extras();
  }

  void Flag(const std::string &name, Take take) {
    takes_[app_.add_flag(name)] = [name, take](const std::string &value) -> std::optional<std::string> {
      // CLI11 records a flag given alone as "true", and what follows "=" as given.
      if (value != "true")
        return "option " + name + " takes no value";
      return take({});
    };
  }

  // Each time given, one value: the next argument whatever it looks like.
  void Value(const std::string &name, Take take) {
    takes_[app_.add_option(name)->allow_extra_args(false)->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)] = take;
  }

  // nullopt when every argument was taken; else why not.
  std::optional<std::string> Read(const std::vector<std::string> &args) {
    try {
      app_.parse(std::vector<std::string>(args.rbegin(), args.rend()));
    } catch (const CLI::ParseError &) {
      // Only an option at the very end can miss its value.
      missingLastValue_ = true;
      return "option " + args.back() + " needs a value";
    }
    const std::vector<std::string> extras = app_.remaining();
    if (!extras.empty()) {
      // Options come in pairs with their values.
      const auto at = std::find(args.begin(), args.end(), extras.front());
      if (at + 1 == args.end())
        return "option " + *at + " needs a value";
      return "unknown option or bad value: " + *at + " " + *(at + 1);
    }
    std::map<const CLI::Option *, size_t> times;
    for (const CLI::Option *option : app_.parse_order())
      if (auto refusal = takes_.at(option)(option->results().at(times[option]++)))
        return refusal;
    return std::nullopt;
  }

  bool MissingLastValue() const { return missingLastValue_; }

private:
  CLI::App app_;
  std::map<const CLI::Option *, Take> takes_;
  bool missingLastValue_ = false;
};

} // namespace

std::optional<BenchOptions> ParseBenchOptions(const std::vector<std::string> &args, std::string *error) {
  BenchOptions options;
  using Refusal = std::optional<std::string>;
  OptionReader reader;
  reader.Flag("--version", [&](const std::string &) -> Refusal {
    options.version = true;
    return std::nullopt;
  });
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
    if (value != "at-once")
      return "unknown option or bad value: --only " + value;
    options.onlyAtOnce = true;
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
                                         {"--monitor-ticks", uint64_t{100'000}, &options.monitorTicks}})
    reader.Value(name, [name = std::string(name), max = max, field = field](const std::string &value) -> Refusal {
      uint64_t count = 0;
      if (!ParseCount(value, max, count))
        return "unknown option or bad value: " + name + " " + value;
      *field = static_cast<int>(count);
      return std::nullopt;
    });
  if (auto refusal = reader.Read(args)) {
    // What is wrong before the last argument is told first.
    if (reader.MissingLastValue() && !ParseBenchOptions({args.begin(), args.end() - 1}, error))
      return std::nullopt;
    *error = *refusal;
    return std::nullopt;
  }
  return options;
}

} // namespace orvane::bench
