#include "options/OptionReader.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <map>

namespace orvane::options {

namespace {

// The option as typed, without a value given after "=".
std::string OptionName(const std::string &arg) {
  return arg.rfind("--", 0) == 0 ? arg.substr(0, arg.find('=')) : arg;
}

ReadOutcome Unknown(const std::vector<std::string> &args, const std::vector<std::string> &extras) {
  ReadOutcome outcome;
  outcome.kind = ReadOutcome::Kind::Unknown;
  outcome.argument = extras.front();
  outcome.name = OptionName(outcome.argument);
  outcome.valueWith = outcome.name != outcome.argument;
  outcome.moreUnknown = extras.size() > 1;
  outcome.endsLine = outcome.argument == args.back();
  const auto at = std::find(args.begin(), args.end(), outcome.argument);
  if (at != args.end() && at + 1 != args.end())
    outcome.next = *(at + 1);
  return outcome;
}

} // namespace

Words UpdaterWords() {
  return {
      .missingLastValue = [](const ReadOutcome &outcome) { return "option " + outcome.name + " needs a value"; },
      .unknown =
          [](const ReadOutcome &outcome) {
            // A value is refused before the name is looked at.
            if (outcome.valueWith)
              return "option " + outcome.name + " takes no value";
            if (!outcome.argument.empty() && outcome.argument[0] == '-')
              return "unknown option " + outcome.argument;
            return "unexpected argument '" + outcome.argument + "'";
          },
      .flagWithValue = [](const ReadOutcome &outcome) { return "option " + outcome.argument + " takes no value"; },
  };
}

Refusal Tell(const ReadOutcome &outcome, const Words &words) {
  switch (outcome.kind) {
  case ReadOutcome::Kind::Taken:
    break;
  case ReadOutcome::Kind::MissingLastValue:
    return words.missingLastValue(outcome);
  case ReadOutcome::Kind::Unknown:
    return words.unknown(outcome);
  case ReadOutcome::Kind::FlagWithValue:
    return words.flagWithValue(outcome);
  case ReadOutcome::Kind::Refused:
    return outcome.refusal;
  }
  return std::nullopt;
}

void OptionReader::Flag(const std::string &names, FlagTake take) {
  options_.push_back({names, true, std::move(take), {}});
}

void OptionReader::Flag(const std::string &names, bool &given) {
  Flag(names, [&given]() -> Refusal {
    given = true;
    return std::nullopt;
  });
}

void OptionReader::Value(const std::string &name, ValueTake take) {
  options_.push_back({name, false, {}, std::move(take)});
}

ReadOutcome OptionReader::Read(const std::vector<std::string> &args) const {
  CLI::App app;
  // The help text is the program's own.
  app.set_help_flag();
  // Anything it does not know is told below, for the program's words.
  app.allow_extras();
  std::map<const CLI::Option *, const Option *> declared;
  for (const Option &option : options_) {
    if (option.flag) {
      declared[app.add_flag(option.names)] = &option;
    } else {
      // Each time given, one value; the program keeps the last or all.
      CLI::Option *added =
          app.add_option(option.names)->allow_extra_args(false)->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
      declared[added] = &option;
    }
  }
  std::optional<std::string> word;
  try {
    app.parse(CliArguments(args, word));
  } catch (const CLI::ParseError &) {
    // Only an option at the very end can miss its value: the others take
    // the next argument whatever it looks like.
    ReadOutcome outcome;
    outcome.kind = ReadOutcome::Kind::MissingLastValue;
    outcome.argument = args.back();
    outcome.name = OptionName(outcome.argument);
    return outcome;
  }
  std::vector<std::string> extras = app.remaining();
  // The one that comes first is told.
  if (word) {
    const auto at = std::find(args.begin(), args.end(), *word);
    if (extras.empty() || at < std::find(args.begin(), args.end(), extras.front()))
      extras.insert(extras.begin(), *word);
  }
  if (!extras.empty())
    return Unknown(args, extras);
  std::map<const CLI::Option *, size_t> times;
  for (const CLI::Option *option : app.parse_order()) {
    const std::string &value = option->results().at(times[option]++);
    const Option &take = *declared.at(option);
    ReadOutcome outcome;
    if (take.flag && value != "true") {
      // CLI11 records a flag given alone as "true", and what follows "=" as given.
      outcome.kind = ReadOutcome::Kind::FlagWithValue;
      outcome.argument = "--" + option->get_single_name();
      outcome.name = outcome.argument;
      return outcome;
    }
    if (auto refusal = take.flag ? take.flagTake() : take.valueTake(value)) {
      outcome.kind = ReadOutcome::Kind::Refused;
      outcome.refusal = *refusal;
      return outcome;
    }
  }
  return {};
}

// CLI11's reversed argument list. With the strict spelling an empty value
// after "=" stays empty rather than taking the next argument, and a word
// after a single dash is kept from CLI11, which would read it as short
// options one letter each; the first such word comes back in `word`.
std::vector<std::string> OptionReader::CliArguments(const std::vector<std::string> &args,
                                                    std::optional<std::string> &word) const {
  if (spelling_ == Spelling::AsGiven)
    return {args.rbegin(), args.rend()};
  std::vector<std::string> forward;
  bool isValue = false;
  for (const std::string &arg : args) {
    if (!isValue && arg.size() > 2 && arg[0] == '-' && arg[1] != '-') {
      if (!word)
        word = arg;
      continue;
    }
    const std::string name = arg.substr(0, arg.size() - 1);
    if (!isValue && !arg.empty() && arg.back() == '=' && IsValueOption(name)) {
      forward.push_back(name);
      forward.push_back({});
      continue;
    }
    forward.push_back(arg);
    isValue = !isValue && IsValueOption(arg);
  }
  return {forward.rbegin(), forward.rend()};
}

bool OptionReader::IsValueOption(const std::string &name) const {
  return std::any_of(options_.begin(), options_.end(),
                     [&name](const Option &option) { return !option.flag && option.names == name; });
}

} // namespace orvane::options
