#include "cli/UpdateCommandOptions.h"

#include "options/OptionReader.h"

#include <charconv>
#include <functional>

namespace orvane {

namespace {

using options::OptionReader;
using options::ReadOutcome;
using options::Refusal;
using options::Spelling;
using options::Tell;

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

struct Actions {
  bool help = false;
  bool version = false;
  bool list = false;
};

bool Consistent(const Actions &actions, UpdateCommandOptions &options, std::string *error) {
  if (actions.help) {
    options.action = UpdateCommandOptions::Action::Help;
    return true;
  }
  if (actions.version) {
    options.action = UpdateCommandOptions::Action::Version;
    return true;
  }
  const bool list = actions.list;
  const bool readBack = !options.readBackFile.empty();
  if (options.all && (list || readBack || options.device))
    return Fail(error,
                std::string("--all updates every device; it cannot be combined with ") + (list       ? "--list"
                                                                                          : readBack ? "--read-back"
                                                                                                     : "--device"));
  if (list && readBack)
    return Fail(error, "--list and --read-back cannot be combined");
  if (list || readBack) {
    const char *action = list ? "--list" : "--read-back";
    if (options.file)
      return Fail(error, std::string("--file belongs to an update, not to ") + action);
    if (options.yes)
      return Fail(error, std::string("--yes belongs to an update, not to ") + action);
    if (options.allowOtherModel)
      return Fail(error, std::string("--allow-other-model belongs to an update, not to ") + action);
    options.action = list ? UpdateCommandOptions::Action::List : UpdateCommandOptions::Action::ReadBack;
  }
  return true;
}

} // namespace

std::optional<UpdateCommandOptions> ParseUpdateCommandOptions(const std::vector<std::string> &args,
                                                              std::string *error) {
  UpdateCommandOptions options;
  Actions actions;
  OptionReader reader(Spelling::Strict);
  reader.Flag("-h,--help", actions.help);
  reader.Flag("--version", actions.version);
  reader.Flag("-y,--yes", options.yes);
  reader.Flag("--allow-other-model", options.allowOtherModel);
  reader.Flag("--json", options.json);
  reader.Flag("--list", actions.list);
  reader.Flag("--all", options.all);
  // An empty value ("--file=") is refused rather than taken.
  auto value = [&reader](const std::string &name, std::function<Refusal(const std::string &)> take) {
    reader.Value(name, [name, take](const std::string &text) -> Refusal {
      if (text.empty())
        return "option " + name + " needs a value";
      return take(text);
    });
  };
  auto text = [](auto &field) {
    return [&field](const std::string &given) -> Refusal {
      field = given;
      return std::nullopt;
    };
  };
  value("--file", text(options.file));
  value("--device", text(options.device));
  value("--read-back", text(options.readBackFile));
  value("--wait", [&options](const std::string &given) -> Refusal {
    const auto seconds = ParseSeconds(given);
    if (!seconds)
      return "--wait takes whole seconds from 0 to " + std::to_string(kMaxWaitSeconds) + ", not '" + given + "'";
    options.waitSeconds = *seconds;
    return std::nullopt;
  });
  const ReadOutcome outcome = reader.Read(args);
  // What is wrong before a last option that misses its value is told first.
  if (outcome.kind == ReadOutcome::Kind::MissingLastValue &&
      !ParseUpdateCommandOptions({args.begin(), args.end() - 1}, error))
    return std::nullopt;
  if (auto refusal = Tell(outcome, options::UpdaterWords())) {
    Fail(error, *refusal);
    return std::nullopt;
  }
  if (!Consistent(actions, options, error))
    return std::nullopt;
  return options;
}

namespace {

// Where a device sits reads differently per system: a port path on Linux,
// the device instance id of its interface path on Windows, whose '&'
// cmd.exe takes for a command separator unless quoted.
#ifdef _WIN32
constexpr const char *kDeviceOptionHelp =
    R"(  --device ID        act on this device only: its location as --list shows it
                     (a device instance id such as 5&1a2b3c4d&0&2, in quotes
                     in cmd.exe: --device "5&1a2b3c4d&0&2"; or a virtual
                     device's name) or its USB serial number. Needed when
                     more than one supported device is attached
)";
#else
constexpr const char *kDeviceOptionHelp =
    R"(  --device ID        act on this device only: its location as --list shows it
                     (a USB port path such as 1-4.2, or a virtual device's
                     name) or its USB serial number. Needed when more than
                     one supported device is attached
)";
#endif

} // namespace

std::string UpdateCommandHelp() {
  return R"(orvane-update: updates the firmware of an attached Orvane USB audio device,
the way the Orvane Firmware Update Tool window does, from a terminal or a script.

Usage: orvane-update [--yes] [--device ID] [--file PATH] [--allow-other-model] [--wait SECONDS] [--json]
  or:  orvane-update --all [--yes] [--file PATH] [--allow-other-model] [--wait SECONDS] [--json]
  or:  orvane-update --list [--wait SECONDS] [--json]
  or:  orvane-update --read-back FILE [--device ID] [--wait SECONDS] [--json]
  or:  orvane-update --help | --version

With no action option it finds the attached device (the supported models
through their audio identity, then the firmware-update identities 3b5d:6000
and 0c7e:6000), loads its update file from the working directory (the
model's file name with .hex, else .bin, e.g. Orvane_R62.hex), asks for
confirmation and runs the update: ISP mode, up to three attempts of erase,
blank check, program and verify, then flash protection. A device back in
update mode after an update of it was cut short gets that update's file
again, without --file, also with --yes.

Options:
  -y, --yes          update without asking (needed when stdin is not a terminal)
  --file PATH        program this image (.hex Intel HEX or .bin raw binary)
                     instead of the model's update file
  --allow-other-model  with --yes, program a file whose name is another
                     model's update file name (e.g. Orvane_R61.hex on an
                     Orvane-R62); without it such a file is refused, and
                     the question warns of it
  --wait SECONDS     wait up to SECONDS for a device to appear (default 0: look once);
                     with --all, keep updating devices as they are plugged in
                     until SECONDS pass without a new one
)" + std::string(kDeviceOptionHelp) +
         R"(  --all              update every attached supported device at once, each with
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

Exit status:
  0  the update (or list, or read-back) succeeded
  1  the update failed ("Firmware update Fail!") after erasing the flash, or
     the read-back was not consistent; the device has been written to or
     read from
  2  nothing was done to the device: a usage error, no device, a device that
     cannot be opened, no valid update file, several devices and no --device,
     or the question was answered no
  3  the update failed before its first erase: the device was not changed

With --all: 0 only when every device succeeded, 2 when nothing was done to any
device, 3 when none was updated and no flash was changed, else 1.
)";
}

} // namespace orvane
