#include "app/UpdaterCommandLine.h"

#include "options/OptionReader.h"
#include "version/ProgramVersion.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace orvane {

namespace {

using options::OptionReader;
using options::ReadOutcome;
using options::Spelling;
using options::Tell;

// The toolkit's options, which it takes after one dash or two.
constexpr std::array<std::string_view, 13> kToolkitValueOptions = {
    "platform",    "platformpluginpath", "platformtheme", "plugin",  "qwindowgeometry",
    "qwindowicon", "qwindowtitle",       "session",       "display", "geometry",
    "style",       "stylesheet",         "qmljsdebugger"};
constexpr std::array<std::string_view, 8> kToolkitFlags = {"reverse", "widgetcount", "nograb",     "dograb",
                                                           "sync",    "dialogs",     "fontengine", "darkmode"};

template <size_t N> bool Listed(const std::array<std::string_view, N> &names, std::string_view name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

// The option's name without its dashes and without a value after "=";
// empty when arg is no option.
std::string_view OptionName(std::string_view arg) {
  if (arg.size() < 2 || arg[0] != '-')
    return {};
  arg.remove_prefix(arg[1] == '-' ? 2 : 1);
  return arg.substr(0, arg.find('='));
}

UpdaterCommandLine Refused(std::string why) {
  UpdaterCommandLine line;
  line.action = UpdaterCommandLine::Action::Usage;
  line.error = std::move(why);
  return line;
}

} // namespace

UpdaterCommandLine ReadUpdaterCommandLine(const std::vector<std::string> &args) {
  UpdaterCommandLine line;
  std::vector<std::string> own;
  std::vector<std::string> paths;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string &arg = args[i];
    if (arg == "--") {
      paths.insert(paths.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
      break;
    }
    const std::string_view name = OptionName(arg);
    if (name.empty()) {
      paths.push_back(arg);
    } else if (Listed(kToolkitValueOptions, name)) {
      line.toolkit.push_back(arg);
      if (arg.find('=') == std::string::npos) {
        if (i + 1 == args.size())
          return Refused("option " + arg + " needs a value");
        line.toolkit.push_back(args[++i]);
      }
    } else if (Listed(kToolkitFlags, name)) {
      line.toolkit.push_back(arg);
    } else {
      own.push_back(arg);
    }
  }

  bool help = false;
  bool version = false;
  OptionReader reader(Spelling::Strict);
  reader.Flag("-h,--help", help);
  reader.Flag("--version", version);
  if (auto refusal = Tell(reader.Read(own), options::UpdaterWords()))
    return Refused(*refusal);
  if (help) {
    line.action = UpdaterCommandLine::Action::Help;
    return line;
  }
  if (version) {
    line.action = UpdaterCommandLine::Action::Version;
    return line;
  }
  if (paths.size() > 1)
    return Refused("one FILE or FOLDER at most");
  if (!paths.empty())
    line.path = paths.front();
  return line;
}

std::string UpdaterHelp() {
  return R"(orvane-updater: the Orvane Firmware Update Tool window. It finds the attached
Orvane USB audio device, names its model, loads the model's update file and,
after a confirmation, updates the device's firmware.

Usage: orvane-updater [FILE or FOLDER]
       orvane-updater --help | --version

FILE or FOLDER
    The update file (.hex or .bin) for whichever supported device is found,
    or the folder to look in for the model's update file instead of the
    working directory.

Options:
  -h, --help   Show this help and exit.
  --version    Print the program's name and version and exit.

The Qt toolkit's own options are taken as well, for example -platform NAME.
)";
}

std::string UpdaterVersion() {
  return std::string("orvane-updater ") + kProgramVersion;
}

} // namespace orvane
