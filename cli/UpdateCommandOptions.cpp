#include "cli/UpdateCommandOptions.h"

#include <charconv>

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

class Parser {
public:
  Parser(const std::vector<std::string> &args, std::string *error) : args_(args), error_(error) {}

  std::optional<UpdateCommandOptions> Run() {
    while (next_ < args_.size())
      if (!Take(args_[next_++]))
        return std::nullopt;
    if (!Consistent())
      return std::nullopt;
    return options_;
  }

private:
  // The value of an option: after "=" in the same argument, else the next argument.
  bool Value(const std::string &name, const std::optional<std::string> &inline_, std::string &value) {
    if (inline_) {
      value = *inline_;
    } else if (next_ < args_.size()) {
      value = args_[next_++];
    } else {
      return Fail(error_, "option " + name + " needs a value");
    }
    if (value.empty())
      return Fail(error_, "option " + name + " needs a value");
    return true;
  }

  bool Take(const std::string &arg) {
    std::string name = arg;
    std::optional<std::string> inline_;
    if (arg.rfind("--", 0) == 0) {
      if (const size_t equals = arg.find('='); equals != std::string::npos) {
        name = arg.substr(0, equals);
        inline_ = arg.substr(equals + 1);
      }
    }
    const bool takesValue = name == "--file" || name == "--read-back" || name == "--wait" || name == "--device";
    if (inline_ && !takesValue)
      return Fail(error_, "option " + name + " takes no value");
    if (name == "--help" || name == "-h") {
      help_ = true;
    } else if (name == "--version") {
      version_ = true;
    } else if (name == "--yes" || name == "-y") {
      options_.yes = true;
    } else if (name == "--json") {
      options_.json = true;
    } else if (name == "--list") {
      list_ = true;
    } else if (name == "--file") {
      std::string value;
      if (!Value(name, inline_, value))
        return false;
      options_.file = value;
    } else if (name == "--all") {
      options_.all = true;
    } else if (name == "--device") {
      std::string value;
      if (!Value(name, inline_, value))
        return false;
      options_.device = value;
    } else if (name == "--read-back") {
      if (!Value(name, inline_, options_.readBackFile))
        return false;
    } else if (name == "--wait") {
      std::string value;
      if (!Value(name, inline_, value))
        return false;
      const auto seconds = ParseSeconds(value);
      if (!seconds)
        return Fail(error_, "--wait takes whole seconds from 0 to " + std::to_string(kMaxWaitSeconds) + ", not '" +
                                value + "'");
      options_.waitSeconds = *seconds;
    } else if (!arg.empty() && arg[0] == '-') {
      return Fail(error_, "unknown option " + name);
    } else {
      return Fail(error_, "unexpected argument '" + arg + "'");
    }
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
  size_t next_ = 0;
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
