#pragma once

#include "sim/SimConfig.h"

#include <optional>
#include <string>
#include <vector>

namespace orvane::devsim {

enum class InitialFlash { Default, Blank, File, Generated };

// Everything the command line asks for.
struct DevsimOptions {
  bool help = false;
  bool version = false;
  sim::SimModel model = sim::DefaultSimModel();
  bool modelGiven = false;
  std::optional<uint16_t> updateVendorId;
  sim::FlashPartProfile flashPart = sim::DefaultFlashPart();
  InitialFlash initialFlash = InitialFlash::Default;
  std::string flashFile;
  double speed = 1.0;
  bool eepromPresent = true;
  std::optional<std::array<uint8_t, 3>> streamStatus;
  std::vector<std::string> faults;
  // After an unplug, the device comes back this long later, restarted
  // from its flash as after a power cycle.
  std::optional<uint32_t> replugAfterMs;
  std::string traceFile;
  std::string dumpFlashFile;
  std::string name;
  std::optional<std::string> serial; // the model's default when not given
  int count = 1;                     // copies of this device, each with its own flash
  std::string directory;
  std::string writeSampleDirectory;
};

// nullopt with a message in *error for anything it cannot take.
std::optional<DevsimOptions> ParseDevsimOptions(const std::vector<std::string> &args, std::string *error);

inline constexpr const char *kNextDeviceOption = "--next";

// The devices one process serves: the arguments split at each --next, each
// part parsed on its own, --count copies spelled out (NAME-1, NAME-2 ...,
// serial numbers likewise), every name different. --dir, --help and
// --write-sample belong to the first device and hold for all.
std::optional<std::vector<DevsimOptions>> ParseDevsimDevices(const std::vector<std::string> &args, std::string *error);
std::string DevsimHelp();
// The socket name used when none is given: the model's file prefix, or the update identity.
std::string DefaultDeviceName(const DevsimOptions &options);

} // namespace orvane::devsim
