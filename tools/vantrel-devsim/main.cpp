// vantrel-devsim: simulated devices, each with its own chip, flash and
// faults, published over the virtual USB device protocol.

#include "BinaryFiles.h"
#include "DevsimOptions.h"
#include "FaultText.h"
#include "SampleFiles.h"
#include "StopSignals.h"
#include "TransferTraceFile.h"
#include "sim/ChipSimulator.h"
#include "sim/ReplugAfterUnplug.h"
#include "sim/SampleFirmware.h"
#include "usb/Clock.h"
#include "usb/VirtualUsbServer.h"
#include "version/ProgramVersion.h"

#include <cstdio>
#include <memory>
#include <string>
#include <thread>
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
  if (options.serial)
    config.serial = *options.serial;
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

// One published device: its chip, trace and socket.
class ServedDevice {
public:
  ServedDevice(const devsim::DevsimOptions &options, sim::SimConfig config)
      : options_(options), config_(std::move(config)), chip_(clock_, config_) {}

  // Faults, trace and socket; the reason in *error, with whether it is a usage error.
  bool Prepare(std::string *error, bool *usage) {
    for (const auto &fault : options_.faults)
      if (!devsim::ApplyFaultText(fault, chip_, error)) {
        *usage = true;
        return false;
      }
    if (options_.streamStatus)
      chip_.SetStreamStatus((*options_.streamStatus)[0], (*options_.streamStatus)[1], (*options_.streamStatus)[2]);
    if (!options_.traceFile.empty()) {
      if (!trace_.Open(options_.traceFile, error))
        return false;
      chip_.SetTransferObserver([this](const SetupPacket &setup, const uint8_t *data, const TransferResult &result) {
        trace_.Record(chip_.Time().NowUs(), setup, data, result);
      });
    }
    if (options_.replugAfterMs)
      replug_ = std::make_unique<sim::ReplugAfterUnplug>(chip_, *options_.replugAfterMs);
    server_ = std::make_unique<VirtualUsbServer>(replug_ ? static_cast<VirtualDevice &>(*replug_) : chip_,
                                                 options_.name, options_.directory);
    if (!server_->Start(error))
      return false;
    const auto identity = chip_.Describe();
    std::printf("vantrel-devsim: %s vid_%04x&pid_%04x, flash %s, at %s\n",
                chip_.InUpdateMode() ? "update mode" : options_.model.displayName.c_str(), identity.vendorId,
                identity.productId, config_.flashPart.name.c_str(), server_->SocketPath().c_str());
    std::fflush(stdout);
    return true;
  }

  void Serve(const std::atomic<bool> &stop) { server_->Run(stop); }

  // Takes the socket down; writes the flash out when asked to.
  bool Finish(std::string *error) {
    if (server_)
      server_->Stop();
    server_.reset();
    if (options_.dumpFlashFile.empty())
      return true;
    const auto &memory = chip_.Flash().Contents();
    return devsim::WriteWholeFile(options_.dumpFlashFile, memory.data(), memory.size(), error);
  }

private:
  const devsim::DevsimOptions &options_;
  sim::SimConfig config_;
  SystemClock clock_;
  sim::ChipSimulator chip_;
  devsim::TransferTraceFile trace_;
  std::unique_ptr<sim::ReplugAfterUnplug> replug_;
  std::unique_ptr<VirtualUsbServer> server_;
};

int Serve(const std::vector<devsim::DevsimOptions> &devices) {
  std::vector<std::unique_ptr<ServedDevice>> served;
  std::string error;
  for (const auto &options : devices) {
    auto config = BuildConfig(options, &error);
    if (!config)
      return Failure(error);
    served.push_back(std::make_unique<ServedDevice>(options, std::move(*config)));
  }
  const std::atomic<bool> &stop = devsim::InstallStopSignals();
  for (auto &device : served) {
    bool usage = false;
    if (!device->Prepare(&error, &usage)) {
      std::string ignored;
      for (auto &other : served)
        other->Finish(&ignored);
      return usage ? Usage(error) : Failure(error);
    }
  }
  // Each device answers on its own thread, so one busy device does not hold up another.
  {
    std::vector<std::thread> threads;
    for (auto &device : served)
      threads.emplace_back([&device, &stop] { device->Serve(stop); });
    for (auto &thread : threads)
      thread.join();
  }
  int status = kExitOk;
  for (auto &device : served)
    if (!device->Finish(&error))
      status = Failure(error);
  return status;
}

} // namespace

int main(int argc, char **argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  const auto devices = devsim::ParseDevsimDevices(args, &error);
  if (!devices)
    return Usage(error);
  const devsim::DevsimOptions &first = devices->front();
  if (first.help) {
    std::fputs(devsim::DevsimHelp().c_str(), stdout);
    return kExitOk;
  }
  if (first.version) {
    std::printf("vantrel-devsim %s\n", kProgramVersion);
    return kExitOk;
  }
  if (!first.writeSampleDirectory.empty())
    return WriteSamples(first);
  return Serve(*devices);
}
