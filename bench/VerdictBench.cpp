#include "bench/VerdictBench.h"

#include "isp/FlashTimeLimits.h"
#include "isp/OneButtonUpdate.h"
#include "sim/SampleFirmware.h"
#include "testing/SimulatedUpdate.h"

#include <cstdio>
#include <functional>

namespace orvane::bench {

namespace {

constexpr uint64_t kUnplugMarkUs = 2'000'000;
constexpr uint64_t kWedgedMarkUs = 30'000'000;
constexpr uint64_t kNoIspMarkUs = 5'000'000;
constexpr uint32_t kTransferTimeoutMs = 1000;
constexpr uint8_t kIspEnterRequest = 0x84;
// How far into its step the fault strikes.
constexpr int kTransfersIntoStep = 20;

// Tells when the update starts the step the fault waits for.
class StepWatch final : public IspView, public UpdateStatusView {
public:
  explicit StepWatch(std::string step) : step_(std::move(step)) {}
  void ShowStatus(const std::string &text, StatusTone) override { reached_ = reached_ || text == step_; }
  void ProcessMessages() override {}
  void ShowProcessInfo(const std::string &) override {}
  void ShowProcessAddress(const std::string &) override {}
  void ShowStatusRegister(const std::string &) override {}
  bool Reached() const { return reached_; }

private:
  std::string step_;
  bool reached_ = false;
};

using Strike = std::function<void(sim::ChipSimulator &chip)>;

// step empty: the fault is there from the start.
VerdictFigures Measure(const sim::FlashPartProfile &part, const std::vector<uint8_t> &image, uint64_t latencyUs,
                       const std::string &fault, const std::string &step, const Strike &strike, uint64_t markUs) {
  sim::SimConfig config;
  config.flashPart = part;
  config.startInUpdateMode = true;
  sim::SimulatedUpdate rig(config, latencyUs);
  rig.Connect();
  rig.LoadImage(image);
  StepWatch watch(step);
  sim::ChipSimulator &chip = rig.Chip();
  uint64_t struckUs = rig.Clock().NowUs();
  if (step.empty())
    strike(chip);
  int into = 0;
  chip.SetTransferObserver([&](const SetupPacket &, const uint8_t *, const TransferResult &) {
    if (!step.empty() && watch.Reached() && ++into == kTransfersIntoStep) {
      strike(chip);
      struckUs = rig.Clock().NowUs();
    }
  });
  VerdictFigures figures;
  figures.part = part.name;
  figures.fault = fault;
  figures.markUs = markUs;
  figures.success = rig.Run(watch, watch);
  figures.toVerdictUs = rig.Clock().NowUs() - struckUs;
  figures.reason = rig.FailureReason();
  chip.SetTransferObserver({});
  return figures;
}

} // namespace

std::vector<VerdictFigures> TimeToVerdict(const sim::FlashPartProfile &part, uint32_t imageBytes, uint64_t latencyUs) {
  const auto image = sim::GenerateSampleFirmware(*sim::FindSimModel("Orvane-R62"), imageBytes);
  const Strike unplug = [](sim::ChipSimulator &chip) { chip.Unplug(); };
  std::vector<VerdictFigures> figures;
  for (const auto &[name, step] : {std::pair{"unplug during erase", "Flash Erase All "},
                                   std::pair{"unplug during blank check", "Start Blanking Check"},
                                   std::pair{"unplug during program", "Start Programming"},
                                   std::pair{"unplug during verify", "Start Verifying Check"}})
    figures.push_back(Measure(part, image, latencyUs, name, step, unplug, kUnplugMarkUs));
  figures.push_back(Measure(
      part, image, latencyUs, "wedged during program", "Start Programming",
      [](sim::ChipSimulator &chip) { chip.Faults().Wedge(kTransferTimeoutMs); }, kWedgedMarkUs));
  figures.push_back(Measure(
      part, image, latencyUs, "failed ISP entry", "",
      [](sim::ChipSimulator &chip) { chip.Faults().StallEvery(kIspEnterRequest); }, kNoIspMarkUs));
  figures.push_back(Measure(
      part, image, latencyUs, "always busy", "",
      [](sim::ChipSimulator &chip) { chip.Flash().Faults().HangNextOperation(); },
      UpdateTimeLimitMs(part.jedecId, imageBytes, OneButtonUpdate::kAttempts) * 1000));
  return figures;
}

std::string VerdictTable(const std::vector<VerdictFigures> &figures) {
  std::string table = "Time to verdict (virtual clock, from the fault to the verdict)\n";
  char line[256];
  std::snprintf(line, sizeof line, "%-6s %-26s %9s %9s %5s  %s\n", "part", "fault", "verdict s", "mark s", "kept",
                "reason");
  table += line;
  for (const VerdictFigures &f : figures) {
    std::snprintf(line, sizeof line, "%-6s %-26s %9.3f %9.3f %5s  %s\n", f.part.c_str(), f.fault.c_str(),
                  static_cast<double>(f.toVerdictUs) / 1e6, static_cast<double>(f.markUs) / 1e6,
                  f.Kept() ? "yes" : "NO", f.reason.empty() ? "-" : f.reason.c_str());
    table += line;
  }
  return table;
}

} // namespace orvane::bench
