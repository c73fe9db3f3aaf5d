// The one-button update against one fault a run, placed at every transfer
// of the steps before the erase (ISP entry, status clear, the identifier
// reads) and at the first, middle and last transfer of every step after
// it, on every flash part, with an image that fits the flash and one that
// does not. Whatever the fault, every run must show:
//   - success only with the image in the flash, protected, ISP mode left;
//   - no chip erase unless, since the last one, the flash gave its true
//     identifier twice in a row and a status showing it idle, and the image
//     fits it; none at all for the image that does not fit;
//   - no transfer to another device of the same model on the bus;
//   - power cycled afterwards, a chip that starts neither its old firmware
//     nor the image: it comes up in update mode;
//   - a reason for every failure, and an end in bounded time.
// Faults a retry or a wait gets past (a stall, a lost or late answer, a
// silence of up to 12 s) must end in success.

#include "isp/FlashTimeLimits.h"
#include "isp/OneButtonUpdate.h"
#include "sim/SampleFirmware.h"
#include "testing/FlashChecks.h"
#include "testing/SimulatedUpdate.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orvane::sim {
namespace {

constexpr uint64_t kFullSpeedLatencyUs = 1000;
constexpr uint32_t kHostTimeoutMs = 1000;
constexpr uint8_t kFlashWriteRequest = 0x80;
constexpr uint8_t kFlashQueryRequest = 0x81;
constexpr uint8_t kFlashFetchRequest = 0x82;
constexpr uint8_t kReadIdOpcode = 0x9F;
constexpr uint8_t kReadStatusOpcode = 0x05;
constexpr uint8_t kChipEraseOpcode = 0xC7;
constexpr uint8_t kIspLeaveRequest = 0x85;
constexpr uint8_t kBlockProtectBits = 0x0C;
constexpr uint64_t kMaxTransfers = 2'000'000;
constexpr uint32_t kForeverMs = 600'000;

enum class FaultKind { Unplug, Silence1s, Silence5s, Silence12s, SilentForever, Stall, LostAnswer, LateAnswer };

const char *FaultName(FaultKind kind) {
  static constexpr const char *kNames[] = {"unplug",          "silence 1 s", "silence 5 s", "silence 12 s",
                                           "silent for good", "stall",       "lost answer", "late answer"};
  return kNames[static_cast<int>(kind)];
}

constexpr FaultKind kFaults[] = {FaultKind::Unplug,     FaultKind::Silence1s,     FaultKind::Silence5s,
                                 FaultKind::Silence12s, FaultKind::SilentForever, FaultKind::Stall,
                                 FaultKind::LostAnswer, FaultKind::LateAnswer};

bool GotPast(FaultKind kind) {
  return kind != FaultKind::Unplug && kind != FaultKind::SilentForever;
}

void Arm(TransferFaults &faults, FaultKind kind, uint64_t at) {
  switch (kind) {
  case FaultKind::Unplug:
    faults.Add({FaultAction::Unplug, std::nullopt, std::nullopt, at});
    return;
  case FaultKind::Silence1s:
    faults.SilenceFrom(at, 1'000, kHostTimeoutMs);
    return;
  case FaultKind::Silence5s:
    faults.SilenceFrom(at, 5'000, kHostTimeoutMs);
    return;
  case FaultKind::Silence12s:
    faults.SilenceFrom(at, 12'000, kHostTimeoutMs);
    return;
  case FaultKind::SilentForever:
    faults.SilenceFrom(at, kForeverMs, kHostTimeoutMs);
    return;
  case FaultKind::Stall:
    faults.StallNth(at);
    return;
  case FaultKind::LostAnswer:
    faults.FailNth(at);
    return;
  case FaultKind::LateAnswer:
    faults.LateNth(at, 1500);
    return;
  }
}

// Watches the wire for every chip erase and what the host had proven
// before it: the flash's identifier and status as they arrived at the
// host, since the erase before.
class EraseAudit {
public:
  EraseAudit(std::array<uint8_t, 3> trueId, uint32_t capacity, uint32_t imageLength)
      : trueId_(trueId), capacity_(capacity), imageLength_(imageLength) {}

  void Saw(const SetupPacket &setup, const uint8_t *data, const TransferResult &result) {
    if (!setup.isIn() && setup.request == kFlashQueryRequest && setup.length >= 1) {
      pending_ = data[0];
      return;
    }
    if (setup.isIn() && setup.request == kFlashFetchRequest) {
      if (result.ok() && pending_ == kReadIdOpcode && result.actual == 3)
        ids_.push_back({data[0], data[1], data[2]});
      if (result.ok() && pending_ == kReadStatusOpcode && result.actual >= 1)
        status_ = data[0];
      pending_ = 0;
      return;
    }
    if (!setup.isIn() && setup.request == kFlashWriteRequest && setup.length >= 1 && data[0] == kChipEraseOpcode) {
      ++erases_;
      const bool twice = ids_.size() >= 2 && ids_[ids_.size() - 1] == trueId_ && ids_[ids_.size() - 2] == trueId_;
      if (!twice)
        violations_.push_back("erase " + std::to_string(erases_) + " without the identifier read twice alike");
      if (!status_ || (*status_ & kStatusBusy) != 0)
        violations_.push_back("erase " + std::to_string(erases_) + " without a status showing the flash idle");
      if (imageLength_ > capacity_)
        violations_.push_back("erase " + std::to_string(erases_) + " for an image larger than the flash");
      ids_.clear();
      status_.reset();
    }
  }

  uint64_t Erases() const { return erases_; }
  const std::vector<std::string> &Violations() const { return violations_; }

private:
  std::array<uint8_t, 3> trueId_;
  uint32_t capacity_;
  uint32_t imageLength_;
  uint8_t pending_ = 0;
  std::vector<std::array<uint8_t, 3>> ids_;
  std::optional<uint8_t> status_;
  uint64_t erases_ = 0;
  std::vector<std::string> violations_;
};

class QuietViews final : public SilentIspView, public UpdateStatusView {
public:
  void ShowStatus(const std::string &text, StatusTone) override {
    if (text == "Flash Erase All ")
      erasePhaseSeen = true;
  }
  void ProcessMessages() override {}
  bool erasePhaseSeen = false;
};

struct Outcome {
  bool verdict = false;
  bool flashHoldsImage = false;
  bool flashUnchanged = false;
  bool leftIsp = false;
  bool protectedFlash = false;
  bool flashChanged = false;
  std::string reason;
  std::string refusal;
  uint64_t virtualUs = 0;
  uint64_t transfers = 0;
  uint64_t erases = 0;
  uint64_t bystanderTransfers = 0;
  bool startsPartialImage = false;
  std::vector<std::string> violations;
};

// A part as the host tells its size: a real simulated part, or one of its
// family with half the size, to give every family an image that does not fit.
FlashPartProfile HalfSized(FlashPartProfile part) {
  part.name += "-half";
  part.sizeBytes /= 2;
  part.jedecId[2] = static_cast<uint8_t>(part.jedecId[2] - 1);
  return part;
}

class TrustMatrix {
public:
  TrustMatrix(const FlashPartProfile &part, std::vector<uint8_t> image) : part_(part), image_(std::move(image)) {
    oldFirmware_ = GenerateSampleFirmware(*FindSimModel("Orvane-R61"), 4096);
    RecordCleanRun();
  }

  Outcome Run(FaultKind kind, uint64_t at) {
    const auto update = NewUpdate();
    SimulatedUpdate &rig = *update;
    ChipSimulator &chip = rig.Chip();
    // Another dongle of the same model, plugged in beside it once the
    // update has found its own.
    SimConfig other = Config();
    other.location = "bystander";
    ChipSimulator &bystander = rig.Devices().PlugChip(other.location, other);
    const std::vector<uint8_t> bystanderBefore = bystander.Flash().Contents();

    EraseAudit audit(part_.jedecId, part_.sizeBytes, static_cast<uint32_t>(image_.size()));
    uint64_t position = 0;
    chip.SetTransferObserver([&](const SetupPacket &setup, const uint8_t *data, const TransferResult &result) {
      ++position;
      audit.Saw(setup, data, result);
      if (position == kMaxTransfers)
        chip.Unplug();
    });
    Arm(chip.Faults(), kind, at);
    QuietViews views;
    const std::vector<uint8_t> before = chip.Flash().Contents();
    const uint64_t started = rig.Clock().NowUs();
    Outcome outcome;
    outcome.verdict = rig.Run(views, views);
    outcome.virtualUs = rig.Clock().NowUs() - started;
    outcome.reason = rig.FailureReason();
    outcome.refusal = rig.Refusal();
    outcome.flashChanged = rig.FlashChanged();
    outcome.transfers = position;
    outcome.erases = audit.Erases();
    outcome.violations = audit.Violations();
    outcome.flashHoldsImage = rig.FlashHoldsImage();
    outcome.flashUnchanged = chip.Flash().Contents() == before;
    outcome.leftIsp = !chip.InIspMode();
    outcome.protectedFlash = (chip.Flash().Status() & kBlockProtectBits) == kBlockProtectBits;
    outcome.bystanderTransfers = bystander.TransferCount();
    // Power cycled now, the chip starts what the start of its flash holds.
    chip.SetTransferObserver({});
    chip.Faults().Clear();
    chip.Replug();
    outcome.startsPartialImage = !chip.InUpdateMode() && chip.Flash().Contents() != before && !rig.FlashHoldsImage();
    if (bystander.Flash().Contents() != bystanderBefore)
      outcome.violations.push_back("the other device's flash changed");
    chip.SetTransferObserver({});
    return outcome;
  }

  // Every transfer up to the first chip erase, then the first, middle and
  // last of each step after it; all of them for a run that never erases.
  const std::vector<uint64_t> &Positions() const { return positions_; }
  bool Fits() const { return image_.size() <= part_.sizeBytes; }
  const std::vector<uint8_t> &Image() const { return image_; }
  uint64_t LimitUs() const {
    return UpdateTimeLimitMs(part_.jedecId, static_cast<uint32_t>(image_.size()), kUpdateAttempts) * 1000;
  }

private:
  SimConfig Config() const {
    SimConfig config;
    config.flashPart = part_;
    config.initialFlash = oldFirmware_;
    config.startInUpdateMode = true;
    return config;
  }

  std::unique_ptr<SimulatedUpdate> NewUpdate() {
    auto update = std::make_unique<SimulatedUpdate>(Config(), kFullSpeedLatencyUs);
    EXPECT_TRUE(update->Connect());
    update->LoadImage(image_);
    return update;
  }

  void RecordCleanRun() {
    const auto update = NewUpdate();
    std::vector<std::string> steps;
    struct Recorder final : public SilentIspView, public UpdateStatusView {
      std::string step;
      void ShowStatus(const std::string &text, StatusTone) override {
        step = text.rfind("Flash Erase All", 0) == 0 ? "erase" : text;
      }
      void ProcessMessages() override {}
    } views;
    uint64_t position = 0;
    std::optional<uint64_t> firstErase;
    std::map<std::string, std::vector<uint64_t>> byStep;
    update->Chip().SetTransferObserver([&](const SetupPacket &setup, const uint8_t *data, const TransferResult &) {
      ++position;
      if (!firstErase && !setup.isIn() && setup.request == kFlashWriteRequest && setup.length >= 1 &&
          data[0] == kChipEraseOpcode)
        firstErase = position;
      // The protect and the leave come after the last text of the update.
      if (views.step == "Verifying Success" && setup.request == kFlashWriteRequest)
        views.step = "protect";
      if (setup.request == kIspLeaveRequest)
        views.step = "leave";
      if (firstErase && position > *firstErase)
        byStep[views.step].push_back(position);
    });
    const bool verdict = update->Run(views, views);
    update->Chip().SetTransferObserver({});
    EXPECT_EQ(verdict, Fits()) << "the clean run on " << part_.name;
    const uint64_t lastBefore = firstErase.value_or(position);
    for (uint64_t p = 1; p <= lastBefore; ++p)
      positions_.push_back(p);
    for (const auto &[step, list] : byStep) {
      positions_.push_back(list.front());
      positions_.push_back(list[list.size() / 2]);
      positions_.push_back(list.back());
    }
  }

  FlashPartProfile part_;
  std::vector<uint8_t> image_;
  std::vector<uint8_t> oldFirmware_;
  std::vector<uint64_t> positions_;
};

std::string Describe(FaultKind kind, uint64_t at) {
  return std::string(FaultName(kind)) + " at transfer " + std::to_string(at);
}

void ExpectKeptPromises(const TrustMatrix &matrix, FaultKind kind, const Outcome &outcome) {
  EXPECT_LT(outcome.transfers, kMaxTransfers) << "the update did not end by itself";
  EXPECT_LE(outcome.virtualUs, matrix.LimitUs() + 40'000'000) << "the update ran past its time limit";
  for (const std::string &violation : outcome.violations)
    ADD_FAILURE() << violation;
  EXPECT_EQ(outcome.bystanderTransfers, 0u) << "a transfer reached another device";
  EXPECT_FALSE(outcome.startsPartialImage) << "power cycled, the chip would start a partial image";
  if (outcome.verdict) {
    EXPECT_TRUE(outcome.flashHoldsImage) << "success without the image in the flash";
    EXPECT_TRUE(outcome.leftIsp) << "success with the chip still in ISP mode";
    EXPECT_TRUE(outcome.protectedFlash) << "success with the flash left unprotected";
  } else {
    EXPECT_FALSE(outcome.reason.empty() && outcome.refusal.empty()) << "a failure without a reason";
  }
  if (!matrix.Fits()) {
    EXPECT_FALSE(outcome.verdict);
    EXPECT_EQ(outcome.erases, 0u);
    EXPECT_TRUE(outcome.flashUnchanged) << "the flash changed for an image that cannot fit";
    EXPECT_FALSE(outcome.flashChanged);
    return;
  }
  if (!outcome.flashChanged) {
    EXPECT_EQ(outcome.erases, 0u) << "an erase went out, yet the update says the flash was not changed";
  }
  if (GotPast(kind)) {
    EXPECT_TRUE(outcome.verdict) << "a passing fault was not got past: " << outcome.reason;
  }
}

class UpdateTrustMatrixTest : public ::testing::TestWithParam<const char *> {
protected:
  void RunAll(TrustMatrix &matrix) {
    for (const FaultKind kind : kFaults) {
      for (const uint64_t at : matrix.Positions()) {
        SCOPED_TRACE(Describe(kind, at));
        ExpectKeptPromises(matrix, kind, matrix.Run(kind, at));
        if (HasFailure())
          return; // one broken promise says enough; the rest would repeat it
      }
    }
  }
};

TEST_P(UpdateTrustMatrixTest, AnImageThatFitsIsWrittenOrHonestlyFailedWhateverTheFault) {
  const FlashPartProfile part = *FindFlashPart(GetParam());
  // Two programmed chunks around an erased one, and a last block and
  // chunk cut short by the end.
  auto image = GenerateSampleFirmware(*FindSimModel("Orvane-R62"), 1300);
  std::fill(image.begin() + 256, image.begin() + 512, uint8_t{0xFF});
  TrustMatrix matrix(part, image);
  RunAll(matrix);
}

TEST_P(UpdateTrustMatrixTest, AnImageLargerThanTheFlashIsNeverErasedForWhateverTheFault) {
  const FlashPartProfile full = *FindFlashPart(GetParam());
  // The image buffer holds no more than the largest part: a part of the
  // same family with half its size gets an image it cannot take. SST parts
  // number theirs instead of coding the size, and have one size here.
  if (full.family == FlashFamily::Sst)
    GTEST_SKIP() << "no SST part is smaller than the largest image";
  const FlashPartProfile part = full.sizeBytes > 128 * 1024 ? HalfSized(full) : full;
  TrustMatrix matrix(part, GenerateSampleFirmware(*FindSimModel("Orvane-R62"), part.sizeBytes + 4096));
  RunAll(matrix);
}

INSTANTIATE_TEST_SUITE_P(Parts, UpdateTrustMatrixTest, ::testing::Values("C22012", "C22011", "EF4012", "BF258C"));

} // namespace
} // namespace orvane::sim
