#include "bench/InterruptBench.h"

#include "cli/UpdateCommand.h"
#include "cli/UpdateCommandOptions.h"
#include "sim/SampleFirmware.h"
#include "testing/FlashChecks.h"
#include "testing/SimulatedDeviceStack.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>

namespace orvane::bench {

namespace {

constexpr uint64_t kTransferUs = 1000;
constexpr const char *kLocation = "bench";

// Listens for nothing but the steps, to know where each begins.
class StepMarks final : public UpdateReporter {
public:
  explicit StepMarks(const uint64_t &position) : position_(position) {}
  void DeviceFound(const FoundDevice &) override {}
  void FileLoaded(const LoadedFile &) override {}
  void Step(const std::string &) override { starts.insert(position_ + 1); }
  void Progress(const WalkProgress &) override {}
  void AttemptFailed(int, int, const std::string &) override {}
  void Cancelled(const std::string &) override {}
  void Verdict(bool, const std::string &, int, const std::string &, bool) override {}
  void DeviceListed(const ListedDevice &) override {}
  void ReadBackWritten(const std::string &, bool, uint32_t) override {}
  void Problem(ProblemKind, const std::string &) override {}
  std::set<uint64_t> starts;

private:
  const uint64_t &position_;
};

// One dongle holding older firmware, on a bus of its own.
struct Bench {
  Bench(const sim::FlashPartProfile &part, const std::vector<uint8_t> &old) {
    sim::SimConfig config = sim::SampleFirmwareConfig(*sim::FindSimModel("Orvane-R62"));
    config.flashPart = part;
    config.initialFlash = old;
    config.transferCostUs = 0;
    chip = &stack.PlugChip(kLocation, config);
    stack.transport.SetLatencyHook([this](const SetupPacket &, const TransferResult &) {
      stack.clock.AdvanceUs(kTransferUs);
      stack.transport.ClearTransfers();
    });
  }

  // orvane-update --yes in folder, keeping its records in records.
  bool Update(const std::string &folder, const std::string &records, UpdateReporter &reporter) {
    std::string error;
    const auto options = ParseUpdateCommandOptions({"--yes"}, &error);
    UpdateCommandContext context{stack.bus, stack.clock, folder, reporter, {}, {}, {}, records};
    return options && RunUpdateCommand(*options, context) == kExitSuccess;
  }

  SimulatedDeviceStack stack;
  sim::ChipSimulator *chip = nullptr;
};

std::vector<uint64_t> CutPositions(uint64_t transfers, int cuts, const std::set<uint64_t> &stepStarts) {
  std::set<uint64_t> positions(stepStarts.begin(), stepStarts.end());
  for (int i = 1; i <= cuts; ++i)
    positions.insert(std::max<uint64_t>(1, transfers * static_cast<uint64_t>(i) / static_cast<uint64_t>(cuts + 1)));
  std::erase_if(positions, [&](uint64_t p) { return p > transfers; });
  return {positions.begin(), positions.end()};
}

} // namespace

std::vector<InterruptFigures> InterruptedUpdates(const sim::FlashPartProfile &part, int cuts,
                                                 const std::string &scratch) {
  const auto image = sim::GenerateSampleFirmware(*sim::FindSimModel("Orvane-R62"), part.sizeBytes);
  const auto old = sim::GenerateSampleFirmware(*sim::FindSimModel("Orvane-R61"), part.sizeBytes);
  const std::string folder = scratch + "/interrupted-" + part.name;
  const std::string records = folder + "/records";
  std::filesystem::create_directories(folder);
  {
    std::ofstream file(folder + "/Orvane_R62.bin", std::ios::binary);
    file.write(reinterpret_cast<const char *>(image.data()), static_cast<std::streamsize>(image.size()));
  }

  // The clean update: how many transfers it takes, and where its steps begin.
  uint64_t transfers = 0;
  std::set<uint64_t> stepStarts;
  {
    Bench clean(part, old);
    StepMarks marks(transfers);
    clean.chip->SetTransferObserver([&](const SetupPacket &, const uint8_t *, const TransferResult &) { ++transfers; });
    clean.Update(folder, {}, marks);
    stepStarts = marks.starts;
  }
  const std::vector<uint64_t> positions = CutPositions(transfers, cuts, stepStarts);

  std::vector<InterruptFigures> figures;
  for (const bool powerLoss : {false, true}) {
    InterruptFigures f;
    f.part = part.name;
    f.cut = powerLoss ? "power loss" : "unplug";
    for (const uint64_t at : positions) {
      std::filesystem::remove_all(records);
      Bench bench(part, old);
      sim::ChipSimulator &chip = *bench.chip;
      uint64_t position = 0;
      if (powerLoss)
        chip.Faults().Add({sim::FaultAction::Unplug, std::nullopt, std::nullopt, at});
      else
        chip.SetTransferObserver([&](const SetupPacket &, const uint8_t *, const TransferResult &) {
          if (++position == at)
            chip.Unplug();
        });
      StepMarks quiet(position);
      bench.Update(folder, records, quiet);
      chip.SetTransferObserver({});
      chip.Faults().Clear();
      chip.Replug();

      ++f.runs;
      const bool holdsImage = HoldsOnlyImage(chip, image);
      const bool holdsOld = chip.Flash().Contents() == old;
      if (chip.InUpdateMode()) {
        ++f.updateMode;
      } else if (holdsOld) {
        ++f.oldFirmware;
      } else if (!holdsImage) {
        ++f.partialImage;
        f.partialAt.push_back(at);
      }
      bench.Update(folder, records, quiet);
      f.broughtBack += HoldsOnlyImage(chip, image) ? 1 : 0;
    }
    figures.push_back(std::move(f));
  }
  return figures;
}

std::string InterruptTable(const std::vector<InterruptFigures> &figures) {
  std::string table = "Interrupted updates (a full-size update cut at a transfer, the device power cycled, then\n"
                      "orvane-update --yes run again without --file)\n";
  char line[256];
  std::snprintf(line, sizeof line, "%-6s %-10s %5s %14s %11s %12s %12s %5s\n", "part", "cut", "cuts", "partial image",
                "update mode", "old firmware", "brought back", "kept");
  table += line;
  for (const InterruptFigures &f : figures) {
    std::snprintf(line, sizeof line, "%-6s %-10s %5d %14d %11d %12d %12d %5s\n", f.part.c_str(), f.cut.c_str(), f.runs,
                  f.partialImage, f.updateMode, f.oldFirmware, f.broughtBack, f.Kept() ? "yes" : "NO");
    table += line;
  }
  return table;
}

} // namespace orvane::bench
