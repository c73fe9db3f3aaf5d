#include "UpdateAllRun.h"

#include "CriticalSignals.h"
#include "cli/JsonMultiReporter.h"
#include "cli/ProgressBoard.h"
#include "cli/YesNoQuestion.h"
#include "isp/ImageFileOpen.h"
#include "program/UpdateRecords.h"
#include "usb/DeviceLock.h"
#include "usb/SystemBus.h"

#include <unistd.h>

#include <iostream>

namespace orvane::cli {

namespace {

class SystemDeviceStack final : public DeviceStack {
public:
  DeviceBus &Bus() override { return *bus_; }
  Clock &Time() override { return clock_; }

private:
  std::unique_ptr<DeviceBus> bus_ = CreateSystemBus();
  SystemClock clock_;
};

} // namespace

int RunUpdateAllOnSystem(const UpdateCommandOptions &options, bool terminal) {
  std::unique_ptr<MultiDeviceReporter> reporter;
  if (options.json)
    reporter = std::make_unique<JsonMultiReporter>(std::cout, std::cerr);
  else
    reporter = std::make_unique<ProgressBoard>(std::cout, std::cerr, terminal);
  const std::unique_ptr<DeviceBus> bus = CreateSystemBus();
  SystemClock clock;
  UpdateAllContext context{*bus,
                           clock,
                           CurrentDirectoryUtf8(),
                           *reporter,
                           {},
                           HoldOffInterruptions,
                           DeviceLock::DefaultDirectory(),
                           [](const std::string &) { return std::make_unique<SystemDeviceStack>(); },
                           UpdateRecords::DefaultDirectory()};
  if (::isatty(STDIN_FILENO) == 1)
    context.confirm = [](const std::string &question) { return AskYesNo(std::cin, std::cerr, question); };
  return RunUpdateAll(options, context);
}

} // namespace orvane::cli
