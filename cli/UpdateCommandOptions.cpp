#include "cli/UpdateCommandOptions.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <charconv>
#include <functional>
#include <map>
#include <set>

namespace orvane {

namespace {

bool Fail(std::string *error, const std::string &why) {
  if (error)
    *error = why;
  return false;
}

std::optional<uint32_t> ParseSeconds(const std::string &text) {
  uint32_t value = 0;
  const char *end = text.data() + text.size();
  const auto [stop, failure] = std::from_chars(text.data(), end, value);
  if (text.empty() || failure != std::errc() || stop != end || value > kMaxWaitSeconds)
    return std::nullopt;
  return value;
}

// The option as typed, without a value given after "=".
std::string OptionName(const std::string &arg) {
  return arg.rfind("--", 0) == 0 ? arg.substr(0, arg.find('=')) : arg;
}

// CLI11 reads the command line; each option is then taken in the order
// given, so the first thing wrong is the one told, in our words.
class Parser {
public:
  Parser(const std::vector<std::string> &args, std::string *error) : args_(args), error_(error) {
    // The help text is ours (the manual page is made from it); main shows it.
    app_.set_help_flag();
    // Anything it does not know is refused below, in our words.
    app_.allow_extras();
    Flag("-h,--help", help_);
    Flag("--version", version_);
    Flag("-y,--yes", options_.yes);
    Flag("--json", options_.json);
    Flag("--list", list_);
    Flag("--all", options_.all);
    Value("--file", [this](const std::string &value) {
      options_.file = value;
      return true;
    });
    Value("--device", [this](const std::string &value) {
      options_.device = value;
      return true;
    });
    Value("--read-back", [this](const std::string &value) {
      options_.readBackFile = value;
      return true;
    });
    Value("--wait", [this](const std::string &value) {
      const auto seconds = ParseSeconds(value);
      if (!seconds)
        return Fail(error_, "--wait takes whole seconds from 0 to " + std::to_string(kMaxWaitSeconds) + ", not '" +
                                value + "'");
      options_.waitSeconds = *seconds;
      return true;
    });
  }

  std::optional<UpdateCommandOptions> Run() {
    try {
      app_.parse(CliArguments());
    } catch (const CLI::ParseError &) {
      // Only an option at the very end can miss its value: the others take
      // the next argument whatever it looks like. What is wrong before it is
      // told first.
      if (args_.empty() || !Parser({args_.begin(), args_.end() - 1}, error_).Run())
        return std::nullopt;
      Fail(error_, "option " + OptionName(args_.back()) + " needs a value");
      return std::nullopt;
    }
    if (!Known() || !Taken() || !Consistent())
      return std::nullopt;
    return options_;
  }

private:
  using Take = std::function<bool(const std::string &value)>;

  void Flag(const std::string &names, bool &flag) {
    CLI::Option *option = app_.add_flag(names);
    takes_[option] = [this, option, &flag](const std::string &value) {
      // CLI11 records a flag given alone as "true", and what follows "=" as given.
      if (value != "true")
        return Fail(error_, "option --" + option->get_single_name() + " takes no value");
      flag = true;
      return true;
    };
  }

  void Value(const std::string &name, Take take) {
    // Each time given, one value; the last one counts.
    CLI::Option *option =
        app_.add_option(name)->allow_extra_args(false)->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    valueOptions_.insert(name);
    takes_[option] = [this, name, take](const std::string &value) {
      if (value.empty())
        return Fail(error_, "option " + name + " needs a value");
      return take(value);
    };
  }

  // CLI11's reversed argument list. An empty value after "=" stays empty
  // rather than taking the next argument. A word after a single dash
  // ("-yes") is kept from CLI11, which would read it as short options one
  // letter each; it is refused as an unknown option.
  std::vector<std::string> CliArguments() {
    std::vector<std::string> forward;
    bool isValue = false;
    for (const std::string &arg : args_) {
      if (!isValue && arg.size() > 2 && arg[0] == '-' && arg[1] != '-') {
        if (!word_)
          word_ = arg;
        continue;
      }
      const std::string name = arg.substr(0, arg.size() - 1);
      if (!isValue && !arg.empty() && arg.back() == '=' && valueOptions_.count(name) > 0) {
        forward.push_back(name);
        forward.push_back({});
        continue;
      }
      forward.push_back(arg);
      isValue = !isValue && valueOptions_.count(arg) > 0;
    }
    return {forward.rbegin(), forward.rend()};
  }

  bool Known() {
    std::vector<std::string> extras = app_.remaining();
    // The one that comes first is told.
    if (word_) {
      const auto word = std::find(args_.begin(), args_.end(), *word_);
      if (extras.empty() || word < std::find(args_.begin(), args_.end(), extras.front()))
        extras.insert(extras.begin(), *word_);
    }
    if (extras.empty())
      return true;
    const std::string &arg = extras.front();
    // A value is refused before the name is looked at.
    if (arg.rfind("--", 0) == 0 && arg.find('=') != std::string::npos)
      return Fail(error_, "option " + OptionName(arg) + " takes no value");
    if (!arg.empty() && arg[0] == '-')
      return Fail(error_, "unknown option " + arg);
    return Fail(error_, "unexpected argument '" + arg + "'");
  }

  bool Taken() {
    std::map<const CLI::Option *, size_t> times;
    for (const CLI::Option *option : app_.parse_order())
      if (!takes_.at(option)(option->results().at(times[option]++)))
        return false;
    return true;
  }

  bool Consistent() {
    if (help_) {
      options_.action = UpdateCommandOptions::Action::Help;
      return true;
    }
    if (version_) {
      options_.action = UpdateCommandOptions::Action::Version;
      return true;
    }
    const bool readBack = !options_.readBackFile.empty();
    if (options_.all && (list_ || readBack || options_.device))
      return Fail(error_,
                  std::string("--all updates every device; it cannot be combined with ") + (list_      ? "--list"
                                                                                            : readBack ? "--read-back"
                                                                                                       : "--device"));
    if (list_ && readBack)
      return Fail(error_, "--list and --read-back cannot be combined");
    if (list_ || readBack) {
      const char *action = list_ ? "--list" : "--read-back";
      if (options_.file)
        return Fail(error_, std::string("--file belongs to an update, not to ") + action);
      if (options_.yes)
        return Fail(error_, std::string("--yes belongs to an update, not to ") + action);
      options_.action = list_ ? UpdateCommandOptions::Action::List : UpdateCommandOptions::Action::ReadBack;
    }
    return true;
  }

  const std::vector<std::string> &args_;
  std::string *error_;
  CLI::App app_;
  std::map<const CLI::Option *, Take> takes_;
  std::set<std::string> valueOptions_;
  std::optional<std::string> word_; // the first word after a single dash
  UpdateCommandOptions options_;
  bool help_ = false;
  bool version_ = false;
  bool list_ = false;
};

} // namespace

std::optional<UpdateCommandOptions> ParseUpdateCommandOptions(const std::vector<std::string> &args,
                                                              std::string *error) {
  return Parser(args, error).Run();
}

std::string UpdateCommandHelp() {
  return R"(orvane-update: updates the firmware of an attached Orvane USB audio device,
the way the Orvane Firmware Update Tool window does, from a terminal or a script.

Usage: orvane-update [--yes] [--device ID] [--file PATH] [--wait SECONDS] [--json]
       orvane-update --all [--yes] [--file PATH] [--wait SECONDS] [--json]
       orvane-update --list [--wait SECONDS] [--json]
       orvane-update --read-back FILE [--device ID] [--wait SECONDS] [--json]
       orvane-update --help | --version

With no action option it finds the attached device (the supported models
through their audio identity, then the firmware-update identities 3b5d:6000
and 0c7e:6000), loads its update file from the working directory (the
model's file name with .hex, else .bin, e.g. Orvane_R62.hex), asks for
confirmation and runs the update: ISP mode, up to three attempts of erase,
blank check, program and verify, then flash protection.

Options:
  -y, --yes          update without asking (needed when stdin is not a terminal)
  --file PATH        program this image (.hex Intel HEX or .bin raw binary)
                     instead of the model's update file
  --wait SECONDS     wait up to SECONDS for a device to appear (default 0: look once);
                     with --all, keep updating devices as they are plugged in
                     until SECONDS pass without a new one
  --device ID        act on this device only: its location as --list shows it
                     (a USB port path such as 1-4.2, or a virtual device's
                     name) or its USB serial number. Needed when more than
                     one supported device is attached
  --all              update every attached supported device at once, each with
                     its own model's update file (or --file for all), one
                     progress line per device and a verdict for each at the
                     end. A port is served once per run unless a device with
                     another serial number appears there
  --json             one JSON object per line for each event, for wrappers
  --list             list the attached devices and the update file each would get
  --read-back FILE   read the first 32 KB of flash into FILE as text rows of
                     sixteen "0xHH, " entries (the window's Read Flash format);
                     enters ISP mode for the read and leaves it after; the flash
                     is not changed
  -h, --help         this text
  --version          print the program's version

Exit status (with --all: 0 only when every device succeeded, 1 when any
failed or was left alone next to others that were updated, 2 when nothing
was done to any device):
  0  the update (or list, or read-back) succeeded
  1  the update failed ("Firmware update Fail!"), or the read-back was not
     consistent; the device has been written to or read from
  2  nothing was done to the device: a usage error, no device, a device that
     cannot be opened, no valid update file, several devices and no --device,
     or the question was answered no
)";
}

} // namespace orvane
