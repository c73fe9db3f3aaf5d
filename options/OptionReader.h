#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace orvane::options {

// Why an option's value cannot be taken, in the program's words; nullopt
// when it was taken.
using Refusal = std::optional<std::string>;

// How the command line came out. The reader reads it with CLI11 and takes
// each option in the order given, so what it tells is the first thing
// wrong; the program says it in its own words.
struct ReadOutcome {
  enum class Kind {
    Taken,            // every option was taken
    MissingLastValue, // the last argument is an option that needs a value
    Unknown,          // an argument no option knows (the first one)
    FlagWithValue,    // a flag given "=value" (the first one taken)
    Refused,          // a take refused its value (the first one)
  };
  Kind kind = Kind::Taken;
  // MissingLastValue: the last argument as typed. Unknown: the unknown
  // argument as typed. FlagWithValue: the flag's long name ("--yes").
  std::string argument;
  // The argument without a value given after "=" to a "--" option.
  std::string name;
  // Unknown: "--name=value" was typed.
  bool valueWith = false;
  // Unknown: other unknown arguments came after it.
  bool moreUnknown = false;
  // Unknown: the command line ends with the same text.
  bool endsLine = false;
  // Unknown: what follows it where it first appears; nullopt at the end,
  // or when CLI11 made it from another argument ("-es" of "-yes" as given).
  std::optional<std::string> next;
  // Refused: what the take said.
  std::string refusal;
};

// A program's words for what the reader tells; a take's refusal is
// already in them.
struct Words {
  using Say = std::function<std::string(const ReadOutcome &outcome)>;
  Say missingLastValue;
  Say unknown;
  Say flagWithValue;
};

// The updaters' words, the window's and the command line's alike: "unknown
// option --x", "option --yes takes no value", "unexpected argument 'x'".
Words UpdaterWords();

// nullopt when every option was taken; else the outcome in those words.
Refusal Tell(const ReadOutcome &outcome, const Words &words);

// How the arguments reach CLI11.
enum class Spelling {
  // Unchanged: "-abc" is short options one letter each, and "--name="
  // takes the next argument as its value.
  AsGiven,
  // "--name=" gives the option an empty value, and a word after a single
  // dash ("-yes") is an unknown argument.
  Strict,
};

// The options a program knows and how each takes what it is given.
class OptionReader {
public:
  using FlagTake = std::function<Refusal()>;
  using ValueTake = std::function<Refusal(const std::string &value)>;

  explicit OptionReader(Spelling spelling) : spelling_(spelling) {}

  // A flag, by CLI11 names ("-y,--yes"); refused when given "=value".
  void Flag(const std::string &names, FlagTake take);
  void Flag(const std::string &names, bool &given);
  // An option with one value each time it is given: the next argument
  // whatever it looks like, or what follows "=".
  void Value(const std::string &name, ValueTake take);

  // Arguments without the program name. Takes each option in the order
  // given until one refuses, but only when nothing is unknown or missing.
  ReadOutcome Read(const std::vector<std::string> &args) const;

private:
  struct Option {
    std::string names;
    bool flag = false;
    FlagTake flagTake;
    ValueTake valueTake;
  };

  std::vector<std::string> CliArguments(const std::vector<std::string> &args, std::optional<std::string> &word) const;
  bool IsValueOption(const std::string &name) const;

  Spelling spelling_;
  std::vector<Option> options_;
};

} // namespace orvane::options
