#include "bench/ConcurrentUpdateBench.h"

#include "cli/JsonMultiReporter.h"
#include "cli/UpdateAll.h"
#include "sim/ChipSimulator.h"
#include "sim/SampleFirmware.h"
#include "testing/SimulatedDeviceStack.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <thread>

namespace orvane::bench {

namespace {

// Device time that keeps pace with real time, timeScale times faster: a
// wait sleeps until real time has caught up with it.
class PacedClock final : public Clock {
public:
  explicit PacedClock(double timeScale) : scale_(timeScale) {}

  void SleepMs(uint32_t ms) override { Advance(uint64_t{ms} * 1000); }
  uint64_t NowUs() const override { return deviceUs_; }

  void Advance(uint64_t us) {
    deviceUs_ += us;
    const auto due =
        start_ + std::chrono::nanoseconds(static_cast<int64_t>(static_cast<double>(deviceUs_) * 1000 / scale_));
    // Short waits add up until they are worth a sleep.
    if (due - std::chrono::steady_clock::now() > std::chrono::microseconds(200))
      std::this_thread::sleep_until(due);
  }

private:
  double scale_;
  const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  uint64_t deviceUs_ = 0;
};

struct BenchDevice {
  BenchDevice(std::string name, const sim::SimConfig &config, double timeScale)
      : name(std::move(name)), clock(timeScale), chip(clock, config) {}
  std::string name;
  PacedClock clock;
  sim::ChipSimulator chip;
};

// One device's transport, driver and clock, every transfer taking the latency.
class BenchStack final : public DeviceStack {
public:
  BenchStack(BenchDevice &device, uint64_t latencyUs) : device_(device) {
    stack_.Plug(device.name, device.chip);
    stack_.transport.SetLatencyHook([this, latencyUs](const SetupPacket &, const TransferResult &) {
      device_.clock.Advance(latencyUs);
      stack_.transport.ClearTransfers();
    });
  }
  DeviceBus &Bus() override { return stack_.bus; }
  Clock &Time() override { return device_.clock; }

private:
  BenchDevice &device_;
  SimulatedDeviceStack stack_;
};

uint64_t ProcessCpuNs() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1'000'000'000u + static_cast<uint64_t>(now.tv_nsec);
}

} // namespace

ConcurrentFigures RunConcurrentUpdateBench(int devices, uint32_t imageBytes, uint64_t latencyUs, double timeScale,
                                           const std::string &scratchDirectory) {
  sim::SimConfig config;
  config.transferCostUs = 0; // the latency stands in for the wire
  config.initialFlash = sim::GenerateSampleFirmware(config.model, config.flashPart.sizeBytes);
  const auto image = sim::GenerateSampleFirmware(config.model, imageBytes);
  const std::string imagePath = scratchDirectory + "/orvane-bench-concurrent.bin";
  std::ofstream(imagePath, std::ios::binary)
      .write(reinterpret_cast<const char *>(image.data()), static_cast<std::streamsize>(image.size()));

  std::vector<std::unique_ptr<BenchDevice>> bench;
  SimulatedDeviceStack finder;
  for (int i = 0; i < devices; ++i) {
    bench.push_back(std::make_unique<BenchDevice>("bench-" + std::to_string(i + 1), config, timeScale));
    finder.Plug(bench.back()->name, bench.back()->chip);
  }

  std::ostream discard(nullptr);
  JsonMultiReporter reporter(discard, discard);
  SystemClock clock;
  UpdateCommandOptions options;
  options.all = true;
  options.yes = true;
  options.file = imagePath;
  UpdateAllContext context{finder.bus,
                           clock,
                           scratchDirectory,
                           reporter,
                           {},
                           {},
                           {},
                           [&](const std::string &location) -> std::unique_ptr<DeviceStack> {
                             for (auto &device : bench)
                               if (device->name == location)
                                 return std::make_unique<BenchStack>(*device, latencyUs);
                             return nullptr;
                           },
                           {}};

  ConcurrentFigures figures;
  figures.devices = devices;
  figures.imageBytes = imageBytes;
  figures.latencyUs = latencyUs;
  figures.timeScale = timeScale;
  const uint64_t cpuStart = ProcessCpuNs();
  const auto start = std::chrono::steady_clock::now();
  const int status = RunUpdateAll(options, context);
  figures.wallNs = static_cast<uint64_t>((std::chrono::steady_clock::now() - start).count());
  figures.cpuNs = ProcessCpuNs() - cpuStart;
  for (auto &device : bench) {
    finder.Unplug(device->name);
    figures.modelledUs = std::max(figures.modelledUs, device->clock.NowUs());
    const auto &flash = device->chip.Flash().Contents();
    if (status == kExitSuccess && std::equal(image.begin(), image.end(), flash.begin()))
      ++figures.succeeded;
  }
  std::error_code ignored;
  std::filesystem::remove(imagePath, ignored);
  return figures;
}

} // namespace orvane::bench
