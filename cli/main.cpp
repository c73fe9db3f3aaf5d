// orvane-update: the firmware update of the window, from a terminal or a
// script, on the same device access, image loading and update sequence.

#include "CriticalSignals.h"
#include "TerminalOutput.h"
#include "UpdateAllRun.h"
#include "cli/JsonUpdateReporter.h"
#include "cli/TextUpdateReporter.h"
#include "cli/UpdateCommand.h"
#include "cli/UpdateCommandOptions.h"
#include "cli/YesNoQuestion.h"
#include "isp/ImageFileOpen.h"
#include "program/UpdateRecords.h"
#include "usb/DeviceLock.h"
#include "usb/SystemBus.h"
#include "version/ProgramVersion.h"

#include <unistd.h>

#include <algorithm>
#include <exception>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

using namespace orvane;

namespace {

std::unique_ptr<UpdateReporter> MakeReporter(bool json, bool terminal) {
  if (json)
    return std::make_unique<JsonUpdateReporter>(std::cout, std::cerr);
  return std::make_unique<TextUpdateReporter>(std::cout, std::cerr, terminal);
}

int Run(const std::vector<std::string> &args) {
  const bool terminal = cli::PrepareTerminalOutput();
  std::string error;
  const auto options = ParseUpdateCommandOptions(args, &error);
  if (!options) {
    const bool json = std::find(args.begin(), args.end(), "--json") != args.end();
    MakeReporter(json, terminal)->Problem(ProblemKind::Usage, error + " (see orvane-update --help)");
    return kExitNothingDone;
  }
  if (options->action == UpdateCommandOptions::Action::Help) {
    std::cout << UpdateCommandHelp();
    return kExitSuccess;
  }
  if (options->action == UpdateCommandOptions::Action::Version) {
    std::cout << "orvane-update " << kProgramVersion << '\n';
    return kExitSuccess;
  }

  if (options->all)
    return cli::RunUpdateAllOnSystem(*options, terminal);
  const auto reporter = MakeReporter(options->json, terminal);
  const std::unique_ptr<DeviceBus> bus = CreateSystemBus();
  SystemClock clock;
  UpdateCommandContext context{*bus,
                               clock,
                               CurrentDirectoryUtf8(),
                               *reporter,
                               {},
                               cli::HoldOffInterruptions,
                               DeviceLock::DefaultDirectory(),
                               UpdateRecords::DefaultDirectory()};
  if (::isatty(STDIN_FILENO) == 1)
    context.confirm = [](const std::string &question) { return AskYesNo(std::cin, std::cerr, question); };
  return RunUpdateCommand(*options, context);
}

} // namespace

int main(int argc, char **argv) {
  cli::IgnoreBrokenPipes();
  try {
    return Run(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::exception &e) {
    // Whether the device was touched cannot be told here: not a "nothing done".
    std::cerr << "orvane-update: " << e.what() << '\n';
  } catch (...) {
    std::cerr << "orvane-update: unexpected failure\n";
  }
  return kExitFailed;
}
