#pragma once

#include <optional>
#include <string>
#include <vector>

namespace orvane {

// orvane-updater's command line, read before the toolkit starts, so that
// --help and --version work without a display. The toolkit's own options
// (-platform NAME, -style NAME, ...) are set aside for it, as given.
struct UpdaterCommandLine {
  enum class Action {
    Window,  // start the window
    Help,    // print UpdaterHelp()
    Version, // print UpdaterVersion()
    Usage,   // refuse: error says why
  };
  Action action = Action::Window;
  // The toolkit's options with their values, in the order given.
  std::vector<std::string> toolkit;
  // The FILE or FOLDER argument, when one was given.
  std::optional<std::string> path;
  std::string error;
};

// args: the arguments without the program's name.
UpdaterCommandLine ReadUpdaterCommandLine(const std::vector<std::string> &args);

std::string UpdaterHelp();
// "orvane-updater 1.61"
std::string UpdaterVersion();

} // namespace orvane
