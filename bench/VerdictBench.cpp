#include "bench/VerdictBench.h"

#include "isp/FlashTimeLimits.h"
#include "isp/OneButtonUpdate.h"
#include "sim/SampleFirmware.h"
#include "testing/LatePluggedDevice.h"
#include "testing/SimulatedUpdate.h"

#include <cstdio>
#include <functional>

namespace orvane::bench {

namespace {

constexpr uint64_t kUnplugMarkUs = 2'000'000;
// A silent device is waited for until 30 s after its first unanswered
// transfer; the last try to reach it may take a few time-outs more.
constexpr uint64_t kWedgedMarkUs = 35'000'000;
constexpr uint64_t kNoIspMarkUs = 5'000'000;
constexpr uint32_t kTransferTimeoutMs = 1000;
constexpr uint8_t kIspEnterRequest = 0x84;
// The other dongle appears this long after the first is pulled.
constexpr uint64_t kOtherDongleAfterUs = 300'000;
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

using Strike = std::function<void(sim::SimulatedUpdate &rig)>;

struct Scenario {
  std::string fault;
  std::string step; // empty: the fault is there from the start
  Strike strike;
  uint64_t markUs = 0;
  bool expectSuccess = false;
  bool otherDongle = false; // another dongle appears just after the strike
};

sim::SimConfig PartConfig(const sim::FlashPartProfile &part) {
  sim::SimConfig config;
  config.flashPart = part;
  config.startInUpdateMode = true;
  return config;
}

VerdictFigures Measure(const sim::FlashPartProfile &part, const std::vector<uint8_t> &image, uint64_t latencyUs,
                       const Scenario &scenario) {
  sim::SimulatedUpdate rig(PartConfig(part), latencyUs);
  rig.Connect();
  rig.LoadImage(image);
  // The other dongle: the same model, at another port, not there yet.
  sim::SimConfig otherConfig = PartConfig(part);
  otherConfig.location = "other";
  SimulatedDeviceStack &bus = rig.Devices();
  sim::ChipSimulator &other = bus.PlugChip("parked", otherConfig);
  bus.Unplug("parked");
  LatePluggedDevice later(other, bus.clock);
  if (scenario.otherDongle)
    bus.Plug("other", later);
  const std::vector<uint8_t> otherBefore = other.Flash().Contents();

  StepWatch watch(scenario.step);
  sim::ChipSimulator &chip = rig.Chip();
  uint64_t struckUs = rig.Clock().NowUs();
  const auto strike = [&] {
    scenario.strike(rig);
    struckUs = rig.Clock().NowUs();
    later.AppearAt(struckUs + kOtherDongleAfterUs);
  };
  if (scenario.step.empty())
    strike();
  int into = 0;
  chip.SetTransferObserver([&](const SetupPacket &, const uint8_t *, const TransferResult &) {
    if (!scenario.step.empty() && watch.Reached() && ++into == kTransfersIntoStep)
      strike();
  });
  VerdictFigures figures;
  figures.part = part.name;
  figures.fault = scenario.fault;
  figures.markUs = scenario.markUs;
  figures.expectSuccess = scenario.expectSuccess;
  figures.success = rig.Run(watch, watch);
  figures.toVerdictUs = rig.Clock().NowUs() - struckUs;
  figures.flashHoldsImage = rig.FlashHoldsImage();
  figures.reason = rig.FailureReason();
  figures.othersUntouched = other.TransferCount() == 0 && other.Flash().Contents() == otherBefore;
  chip.SetTransferObserver({});
  if (scenario.otherDongle)
    bus.Unplug("other");
  return figures;
}

// The whole update without a fault, for the marks of the faults it must
// get past.
uint64_t CleanUpdateUs(const sim::FlashPartProfile &part, const std::vector<uint8_t> &image, uint64_t latencyUs) {
  sim::SimulatedUpdate rig(PartConfig(part), latencyUs);
  rig.Connect();
  rig.LoadImage(image);
  StepWatch watch({});
  const uint64_t started = rig.Clock().NowUs();
  static_cast<void>(rig.Run(watch, watch)); // only its length counts here
  return rig.Clock().NowUs() - started;
}

} // namespace

std::vector<VerdictFigures> TimeToVerdict(const sim::FlashPartProfile &part, uint32_t imageBytes, uint64_t latencyUs) {
  const auto image = sim::GenerateSampleFirmware(*sim::FindSimModel("Orvane-R62"), imageBytes);
  const Strike unplug = [](sim::SimulatedUpdate &rig) { rig.Chip().Unplug(); };
  const auto silence = [](uint32_t ms) {
    return [ms](sim::SimulatedUpdate &rig) { rig.Chip().Faults().SilenceFrom(1, ms, kTransferTimeoutMs); };
  };
  // A fault got past costs at most its silence and a second, on top of the
  // update it interrupted.
  const uint64_t cleanUs = CleanUpdateUs(part, image, latencyUs);
  std::vector<Scenario> scenarios;
  for (const auto &[name, step] : {std::pair{"unplug during erase", "Flash Erase All "},
                                   std::pair{"unplug during blank check", "Start Blanking Check"},
                                   std::pair{"unplug during program", "Start Programming"},
                                   std::pair{"unplug during verify", "Start Verifying Check"}})
    scenarios.push_back({name, step, unplug, kUnplugMarkUs});
  scenarios.push_back({"other dongle after unplug", "Start Programming", unplug, kUnplugMarkUs, false, true});
  scenarios.push_back({"wedged during program", "Start Programming",
                       [](sim::SimulatedUpdate &rig) { rig.Chip().Faults().Wedge(kTransferTimeoutMs); },
                       kWedgedMarkUs});
  scenarios.push_back({"silent 2.5 s during program", "Start Programming", silence(2'500), cleanUs + 3'500'000, true});
  scenarios.push_back({"silent 10 s during program", "Start Programming", silence(10'000), cleanUs + 11'000'000, true});
  scenarios.push_back({"failed ISP entry", "",
                       [](sim::SimulatedUpdate &rig) { rig.Chip().Faults().StallEvery(kIspEnterRequest); },
                       kNoIspMarkUs});
  scenarios.push_back({"always busy", "",
                       [](sim::SimulatedUpdate &rig) { rig.Chip().Flash().Faults().HangNextOperation(); },
                       UpdateTimeLimitMs(part.jedecId, imageBytes, kUpdateAttempts) * 1000});
  std::vector<VerdictFigures> figures;
  for (const Scenario &scenario : scenarios)
    figures.push_back(Measure(part, image, latencyUs, scenario));
  return figures;
}

std::string VerdictTable(const std::vector<VerdictFigures> &figures) {
  std::string table = "Time to verdict (virtual clock, from the fault to the verdict)\n";
  char line[256];
  std::snprintf(line, sizeof line, "%-6s %-28s %-7s %9s %9s %5s  %s\n", "part", "fault", "verdict", "verdict s",
                "mark s", "kept", "reason");
  table += line;
  for (const VerdictFigures &f : figures) {
    std::snprintf(line, sizeof line, "%-6s %-28s %-7s %9.3f %9.3f %5s  %s\n", f.part.c_str(), f.fault.c_str(),
                  f.success ? "success" : "Fail", static_cast<double>(f.toVerdictUs) / 1e6,
                  static_cast<double>(f.markUs) / 1e6, f.Kept() ? "yes" : "NO",
                  f.reason.empty() ? "-" : f.reason.c_str());
    table += line;
  }
  return table;
}

} // namespace orvane::bench
