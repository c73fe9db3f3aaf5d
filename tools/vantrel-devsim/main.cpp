// vantrel-devsim: one simulated device per process, published over the
// virtual USB device protocol.

#include "BinaryFiles.h"
#include "DevsimOptions.h"
#include "FaultText.h"
#include "SampleFiles.h"
#include "StopSignals.h"
#include "TransferTraceFile.h"
#include "app/shell/ProgramVersion.h"
#include "sim/ChipSimulator.h"
#include "sim/SampleFirmware.h"
#include "usb/Clock.h"
#include "usb/VirtualUsbServer.h"

#include <cstdio>
#include <string>
#include <vector>

using namespace orvane;

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

int Usage(const std::string &message) {
  std::fprintf(stderr, "vantrel-devsim: %s\n", message.c_str());
  return kExitUsage;
}

int Failure(const std::string &message) {
  std::fprintf(stderr, "vantrel-devsim: %s\n", message.c_str());
  return kExitFailure;
}

std::optional<sim::SimConfig> BuildConfig(const devsim::DevsimOptions &options, std::string *error) {
  sim::SimConfig config;
  config.model = options.model;
  config.flashPart = options.flashPart;
  config.eepromPresent = options.eepromPresent;
  config.speed = options.speed;
  // The socket round trip takes real time of its own.
  config.transferCostUs = 0;
  config.location = options.name;
  if (options.updateVendorId) {
    config.updateVendorId = *options.updateVendorId;
    config.startInUpdateMode = true;
  }
  switch (options.initialFlash) {
  case devsim::InitialFlash::File: {
    auto bytes = devsim::ReadBinaryFile(options.flashFile, config.flashPart.sizeBytes, error);
    if (!bytes)
      return std::nullopt;
    config.initialFlash = std::move(*bytes);
    break;
  }
  case devsim::InitialFlash::Generated:
    config.initialFlash = sim::GenerateSampleFirmware(config.model, config.flashPart.sizeBytes);
    break;
  case devsim::InitialFlash::Default:
    if (!options.updateVendorId)
      config.initialFlash = sim::GenerateSampleFirmware(config.model, config.flashPart.sizeBytes);
    break;
  case devsim::InitialFlash::Blank:
    break;
  }
  return config;
}

int WriteSamples(const devsim::DevsimOptions &options) {
  std::vector<std::string> written;
  std::string error;
  if (!devsim::WriteSampleFiles(options.writeSampleDirectory, options.model, &written, &error))
    return Failure(error);
  for (const auto &path : written)
    std::printf("wrote %s\n", path.c_str());
  return kExitOk;
}

int Serve(const devsim::DevsimOptions &options) {
  std::string error;
  const auto config = BuildConfig(options, &error);
  if (!config)
    return Failure(error);
  SystemClock clock;
  sim::ChipSimulator chip(clock, *config);
  for (const auto &fault : options.faults)
    if (!devsim::ApplyFaultText(fault, chip, &error))
      return Usage(error);
  if (options.streamStatus)
    chip.SetStreamStatus((*options.streamStatus)[0], (*options.streamStatus)[1], (*options.streamStatus)[2]);

  devsim::TransferTraceFile trace;
  if (!options.traceFile.empty()) {
    if (!trace.Open(options.traceFile, &error))
      return Failure(error);
    chip.SetTransferObserver(
        [&trace, &chip](const SetupPacket &setup, const uint8_t *data, const TransferResult &result) {
          trace.Record(chip.Time().NowUs(), setup, data, result);
        });
  }

  const std::atomic<bool> &stop = devsim::InstallStopSignals();
  int status = kExitOk;
  {
    VirtualUsbServer server(chip, options.name, options.directory);
    if (!server.Start(&error))
      return Failure(error);
    const auto identity = chip.Describe();
    std::printf("vantrel-devsim: %s vid_%04x&pid_%04x, flash %s, at %s\n",
                chip.InUpdateMode() ? "update mode" : options.model.displayName.c_str(), identity.vendorId,
                identity.productId, config->flashPart.name.c_str(), server.SocketPath().c_str());
    std::fflush(stdout);
    server.Run(stop);
    server.Stop();
  }
  if (!options.dumpFlashFile.empty()) {
    const auto &memory = chip.Flash().Contents();
    if (!devsim::WriteWholeFile(options.dumpFlashFile, memory.data(), memory.size(), &error))
      status = Failure(error);
  }
  return status;
}

} // namespace

int main(int argc, char **argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  const auto options = devsim::ParseDevsimOptions(args, &error);
  if (!options)
    return Usage(error);
  if (options->help) {
    std::fputs(devsim::DevsimHelp().c_str(), stdout);
    return kExitOk;
  }
  if (options->version) {
    std::printf("vantrel-devsim %s\n", kProgramVersion);
    return kExitOk;
  }
  if (!options->writeSampleDirectory.empty())
    return WriteSamples(*options);
  return Serve(*options);
}
