#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orvane {

// What the command-line updater was asked to do.
struct UpdateCommandOptions {
  enum class Action { Update, List, ReadBack, Help, Version };

  Action action = Action::Update;
  bool yes = false; // update without asking
  // With --yes, program a file named for another model than the device's.
  bool allowOtherModel = false;
  bool json = false;               // one JSON object per event
  std::optional<std::string> file; // this image instead of the model's update file
  std::string readBackFile;
  uint32_t waitSeconds = 0; // how long to wait for a device to appear
  // Only this device: its location as --list shows it, or its serial number.
  std::optional<std::string> device;
  // Every attached supported device at once (Update only).
  bool all = false;
};

inline constexpr uint32_t kMaxWaitSeconds = 24 * 60 * 60;

// Arguments without the program name. nullopt with the reason in *error
// for anything it does not understand; options take their value as the
// next argument or after "=".
std::optional<UpdateCommandOptions> ParseUpdateCommandOptions(const std::vector<std::string> &args, std::string *error);

std::string UpdateCommandHelp();

} // namespace orvane
