#include "bench/UpdateBench.h"

#include "bench/LoopTurnRecorder.h"
#include "bench/TimedLayers.h"
#include "sim/SampleFirmware.h"
#include "testing/HostWriting.h"
#include "testing/SimulatedUpdate.h"

#include <chrono>
#include <ctime>
#include <numeric>

namespace orvane::bench {

namespace {

uint64_t ThreadCpuNs() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1'000'000'000u + static_cast<uint64_t>(now.tv_nsec);
}

double Ratio(uint64_t measured, uint64_t reference) {
  return reference ? static_cast<double>(measured) / static_cast<double>(reference) : 0.0;
}

} // namespace

uint64_t UpdateFigures::TransferCount() const {
  return std::accumulate(transfers.begin(), transfers.end(), uint64_t{0});
}

double UpdateFigures::RatioToMinimum() const {
  return Ratio(modelledUs, minimum.totalUs);
}

double UpdateFigures::RatioToFloor() const {
  return Ratio(modelledUs, floor.totalUs);
}

UpdateFigures RunUpdateBench(const sim::FlashPartProfile &part, uint32_t imageBytes, uint64_t latencyUs) {
  sim::SimConfig config;
  config.flashPart = part;
  sim::SimulatedUpdate rig(config, latencyUs);
  TimedDevice device(rig.Chip());
  TimedDeviceBus bus(rig.DriverBus());
  rig.Connect(&device, &bus);
  const auto image = sim::GenerateSampleFirmware(config.model, imageBytes);
  rig.LoadImage(image);

  UpdateFigures figures;
  figures.part = part.name;
  figures.imageBytes = imageBytes;
  figures.latencyUs = latencyUs;
  std::array<uint64_t, 256> before{};
  for (size_t r = 0; r < before.size(); ++r)
    before[r] = rig.Chip().TransferCount(static_cast<uint8_t>(r));
  const uint64_t busBefore = bus.Time().SpentNs();
  const uint64_t deviceBefore = device.Time().SpentNs();
  const uint64_t clockBefore = rig.Clock().NowUs();

  LoopTurnRecorder loop(rig.Clock());
  const uint64_t cpuStart = ThreadCpuNs();
  const auto start = std::chrono::steady_clock::now();
  loop.Start();
  figures.verdict = rig.Run(loop, loop);
  loop.Finish();
  const auto wallNs = static_cast<uint64_t>((std::chrono::steady_clock::now() - start).count());
  figures.threadCpuNs = ThreadCpuNs() - cpuStart;

  figures.modelledUs = rig.Clock().NowUs() - clockBefore;
  figures.deviceModelNs = device.Time().SpentNs() - deviceBefore;
  const uint64_t belowHostNs = bus.Time().SpentNs() - busBefore;
  figures.driverNs = belowHostNs - figures.deviceModelNs;
  figures.hostNs = wallNs - belowHostNs;
  for (size_t r = 0; r < before.size(); ++r)
    figures.transfers[r] = rig.Chip().TransferCount(static_cast<uint8_t>(r)) - before[r];
  figures.flashHoldsImage = rig.FlashHoldsImage();
  figures.loopTurns = loop.Turns();
  figures.longestLoopGapHostNs = loop.LongestHostGapNs();
  figures.longestLoopGapDeviceUs = loop.LongestDeviceGapUs();
  figures.longestLoopGapCombinedUs = loop.LongestCombinedGapUs();
  const sim::HostWriting writing = HostWritingFor(part);
  figures.minimum = sim::IdealUpdateTime(part, writing, image, imageBytes, latencyUs, sim::FlashWaitEnd::Polled);
  figures.floor = sim::IdealUpdateTime(part, writing, image, imageBytes, latencyUs, sim::FlashWaitEnd::Exact);
  return figures;
}

} // namespace orvane::bench
