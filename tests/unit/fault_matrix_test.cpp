// The one-button update against the simulated chip with one fault at a
// time, placed in every phase of the update: whatever goes wrong, the
// verdict says success only when the flash holds the image, is protected
// and the chip has left ISP mode; the update ends in bounded time; and a
// fault that a retry can get past is got past.

#include "isp/FlashTimeLimits.h"
#include "isp/OneButtonUpdate.h"
#include "sim/SampleFirmware.h"
#include "testing/SimulatedUpdate.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace orvane::sim {
namespace {

enum class Phase { Enter, StatusClear, EraseWait, BlankCheck, Program, Verify, Protect, Leave };

const char *PhaseName(Phase phase) {
  static constexpr const char *kNames[] = {"enter",   "status clear", "erase wait", "blank check",
                                           "program", "verify",       "protect",    "leave"};
  return kNames[static_cast<int>(phase)];
}

constexpr Phase kSampledPhases[] = {Phase::StatusClear, Phase::EraseWait, Phase::BlankCheck, Phase::Program,
                                    Phase::Verify,      Phase::Protect,   Phase::Leave};

constexpr uint64_t kFullSpeedLatencyUs = 1000;
constexpr uint8_t kIspLeaveRequest = 0x85;
constexpr uint8_t kIspEnterRequest = 0x84;
constexpr uint8_t kFlashWriteRequest = 0x80;
constexpr uint8_t kFlashQueryRequest = 0x81;
constexpr uint8_t kReadOpcode = 0x03;
// The marks for the time to a verdict.
constexpr uint64_t kUnplugVerdictUs = 2'000'000;
// A silent device is waited for until 30 s after its first unanswered
// transfer; the last try to reach it may take a few transfer time-outs more.
constexpr uint64_t kWedgedVerdictUs = 35'000'000;
constexpr uint64_t kNoIspVerdictUs = 5'000'000;
// What a host waits for a transfer that never ends.
constexpr uint32_t kTransferTimeoutMs = 1000;
// The longest an update may take: three attempts of two waits of 1000
// status reads 10 ms apart, each read eleven transfers when nothing
// answers, with a second's pause after each attempt, then one more such
// wait for the protect; a tenth on top for the short steps in between.
constexpr uint64_t kDeadWaitUs = 1000 * (11 * kFullSpeedLatencyUs + 10'000);
constexpr uint64_t kMaxVirtualUs = (3 * (2 * kDeadWaitUs + 1'000'000) + kDeadWaitUs) * 11 / 10;
// Far more than the worst bounded run; reaching it means a loop that does not end.
constexpr uint64_t kMaxTransfers = 2'000'000;

// Tells the phases apart by the texts the update shows as it enters them,
// and the leave by its request.
class PhaseTracker final : public IspView, public UpdateStatusView {
public:
  void ShowStatus(const std::string &text, StatusTone) override {
    static const std::map<std::string, Phase> starts = {
        {"Clear Status register", Phase::StatusClear}, {"Flash Erase All ", Phase::EraseWait},
        {"Start Blanking Check", Phase::BlankCheck},   {"Start Programming", Phase::Program},
        {"Start Verifying Check", Phase::Verify},      {"Verifying Success", Phase::Protect}};
    if (const auto it = starts.find(text); it != starts.end())
      phase_ = it->second;
  }
  void ProcessMessages() override {}
  void ShowProcessInfo(const std::string &) override {}
  void ShowProcessAddress(const std::string &) override {}
  void ShowStatusRegister(const std::string &) override {}

  void Saw(const SetupPacket &setup) {
    if (setup.request == kIspLeaveRequest)
      phase_ = Phase::Leave;
  }
  Phase Current() const { return phase_; }

private:
  Phase phase_ = Phase::Enter;
};

// One transfer of a clean update and where it stood.
struct Step {
  using Kind = std::tuple<uint8_t, uint16_t, uint16_t, bool>; // request, index, length, direction
  Phase phase;
  uint64_t position;   // among all transfers, from 1
  uint64_t inPosition; // among the IN transfers, from 1; 0 for OUT
  Kind kind;
};

// Stands in front of the chip and drops the host's connection once, at the
// chosen transfer, as a late answer drops a virtual connection: that
// transfer and every later one on the connection see the device gone,
// while the chip itself, still in ISP mode, answers any new connection.
class DroppedConnection final : public VirtualDevice {
public:
  DroppedConnection(ChipSimulator &chip, uint64_t dropAt) : chip_(chip), dropAt_(dropAt) {}

  UsbDeviceInfo Describe() const override { return chip_.Describe(); }
  uint64_t Generation() const override { return chip_.Generation() + drops_; }
  bool Present() const override { return chip_.Present(); }
  void ConnectionOpened() override { chip_.ConnectionOpened(); }
  void ConnectionClosed() override { chip_.ConnectionClosed(); }
  TransferResult Control(const SetupPacket &setup, uint8_t *data) override {
    if (++seen_ == dropAt_) {
      ++drops_;
      return {TransferStatus::Gone, 0};
    }
    return chip_.Control(setup, data);
  }

private:
  ChipSimulator &chip_;
  uint64_t dropAt_;
  uint64_t seen_ = 0;
  uint64_t drops_ = 0;
};

struct Outcome {
  bool verdict = false;
  bool flashHoldsImage = false;
  bool leftIsp = false;
  bool protectedFlash = false;
  uint64_t virtualUs = 0;
  uint64_t endUs = 0; // the clock at the verdict
  uint64_t transfers = 0;
  uint64_t flashWrites = 0; // write enables, erases, programs, status writes
  uint64_t flashReads = 0;  // blank check and verify reads
  std::string reason;
};

constexpr uint8_t kBlockProtectBits = 0x0C;

class FaultMatrix {
public:
  explicit FaultMatrix(const char *partName) : part_(*FindFlashPart(partName)) {
    // Two programmed chunks around an erased one, and a last block and
    // chunk cut short by the end.
    image_ = GenerateSampleFirmware(*FindSimModel("Orvane-R62"), 1300);
    std::fill(image_.begin() + 256, image_.begin() + 512, uint8_t{0xFF});
    oldFirmware_ = GenerateSampleFirmware(*FindSimModel("Orvane-R61"), 4096);
    RecordCleanRun();
  }

  using Arm = std::function<void(ChipSimulator &chip, uint64_t position)>;

  // The update with arm called before the first transfer (position 0) and
  // after every transfer with its position; with dropConnectionAt, the
  // host's connection is dropped once at that transfer.
  Outcome Run(const Arm &arm, uint64_t dropConnectionAt = 0) {
    const auto update = NewUpdate(dropConnectionAt);
    SimulatedUpdate &rig = *update;
    ChipSimulator &chip = rig.Chip();
    uint64_t position = 0;
    Outcome outcome;
    chip.SetTransferObserver([&](const SetupPacket &setup, const uint8_t *data, const TransferResult &) {
      ++position;
      if (setup.request == kFlashWriteRequest && !setup.isIn())
        ++outcome.flashWrites;
      if (setup.request == kFlashQueryRequest && !setup.isIn() && setup.length > 0 && data[0] == kReadOpcode)
        ++outcome.flashReads;
      arm(chip, position);
      if (position == kMaxTransfers)
        chip.Unplug();
    });
    arm(chip, 0);
    PhaseTracker view;
    const uint64_t started = rig.Clock().NowUs();
    outcome.verdict = rig.Run(view, view);
    outcome.endUs = rig.Clock().NowUs();
    outcome.virtualUs = outcome.endUs - started;
    outcome.reason = rig.FailureReason();
    outcome.transfers = position;
    outcome.flashHoldsImage = rig.FlashHoldsImage();
    outcome.leftIsp = !chip.InIspMode();
    outcome.protectedFlash = (chip.Flash().Status() & kBlockProtectBits) == kBlockProtectBits;
    chip.SetTransferObserver({});
    return outcome;
  }

  // First and last transfer of every kind in every sampled phase.
  std::vector<Step> Samples(bool inOnly = false) const {
    std::map<std::pair<Phase, Step::Kind>, std::pair<Step, Step>> firstLast;
    for (const Step &step : steps_) {
      if (inOnly && step.inPosition == 0)
        continue;
      const auto key = std::make_pair(step.phase, step.kind);
      if (const auto it = firstLast.find(key); it != firstLast.end())
        it->second.second = step;
      else
        firstLast.emplace(key, std::make_pair(step, step));
    }
    std::vector<Step> samples;
    for (const auto &[key, pair] : firstLast) {
      samples.push_back(pair.first);
      if (pair.second.position != pair.first.position)
        samples.push_back(pair.second);
    }
    return samples;
  }

  // First, middle and last transfer of the phase.
  std::vector<uint64_t> PhasePositions(Phase phase) const {
    std::vector<uint64_t> positions;
    for (const Step &step : steps_)
      if (step.phase == phase)
        positions.push_back(step.position);
    if (positions.empty())
      return positions;
    return {positions.front(), positions[positions.size() / 2], positions.back()};
  }

  const std::vector<uint8_t> &Image() const { return image_; }
  const FlashPartProfile &Part() const { return part_; }

private:
  // The part holding older firmware, in update mode, with the image loaded.
  std::unique_ptr<SimulatedUpdate> NewUpdate(uint64_t dropConnectionAt = 0) {
    SimConfig config;
    config.flashPart = part_;
    config.initialFlash = oldFirmware_;
    config.startInUpdateMode = true;
    auto update = std::make_unique<SimulatedUpdate>(config, kFullSpeedLatencyUs);
    front_.reset();
    if (dropConnectionAt)
      front_ = std::make_unique<DroppedConnection>(update->Chip(), dropConnectionAt);
    EXPECT_TRUE(update->Connect(front_.get()));
    update->LoadImage(image_);
    return update;
  }

  void RecordCleanRun() {
    const auto update = NewUpdate();
    SimulatedUpdate &rig = *update;
    PhaseTracker view;
    uint64_t position = 0;
    uint64_t inPosition = 0;
    rig.Chip().SetTransferObserver([&](const SetupPacket &setup, const uint8_t *, const TransferResult &) {
      view.Saw(setup);
      ++position;
      const uint64_t in = setup.isIn() ? ++inPosition : 0;
      steps_.push_back({view.Current(), position, in, {setup.request, setup.index, setup.length, setup.isIn()}});
    });
    EXPECT_TRUE(rig.Run(view, view)) << "the clean update of " << part_.name;
    rig.Chip().SetTransferObserver({});
    for (const Phase phase : kSampledPhases)
      EXPECT_FALSE(PhasePositions(phase).empty()) << PhaseName(phase) << " has no transfers";
  }

  FlashPartProfile part_;
  std::vector<uint8_t> image_;
  std::vector<uint8_t> oldFirmware_;
  std::vector<Step> steps_;
  std::unique_ptr<DroppedConnection> front_;
};

std::string Describe(const char *fault, Phase phase, uint64_t position) {
  return std::string(fault) + " at transfer " + std::to_string(position) + " (" + PhaseName(phase) + ")";
}

// What every run must show, whatever the fault.
void ExpectHonestAndBounded(const Outcome &outcome) {
  EXPECT_LT(outcome.transfers, kMaxTransfers) << "the update did not end by itself";
  EXPECT_LE(outcome.virtualUs, kMaxVirtualUs);
  if (outcome.verdict) {
    EXPECT_TRUE(outcome.flashHoldsImage) << "success without the image in the flash";
    EXPECT_TRUE(outcome.leftIsp) << "success with the chip still in ISP mode";
    EXPECT_TRUE(outcome.protectedFlash) << "success with the flash left unprotected";
  }
}

// A fault a retry gets past: the update must end in real success.
void ExpectRecovered(const Outcome &outcome) {
  ExpectHonestAndBounded(outcome);
  EXPECT_TRUE(outcome.verdict) << "a passing fault was not recovered from";
  EXPECT_TRUE(outcome.flashHoldsImage);
  EXPECT_TRUE(outcome.leftIsp);
  EXPECT_TRUE(outcome.protectedFlash);
}

class FaultMatrixTest : public ::testing::TestWithParam<const char *> {
protected:
  static FaultMatrix &Matrix() {
    static std::map<std::string, std::unique_ptr<FaultMatrix>> matrices;
    auto &matrix = matrices[GetParam()];
    if (!matrix)
      matrix = std::make_unique<FaultMatrix>(GetParam());
    return *matrix;
  }
};

// One transfer fault armed before the update, at each sample in turn.
void ExpectRecoveredAtEverySample(FaultMatrix &matrix, const std::vector<Step> &samples, const char *fault,
                                  const std::function<void(TransferFaults &, const Step &)> &arm) {
  for (const Step &step : samples) {
    SCOPED_TRACE(Describe(fault, step.phase, step.position));
    ExpectRecovered(matrix.Run([&](ChipSimulator &chip, uint64_t position) {
      if (position == 0)
        arm(chip.Faults(), step);
    }));
  }
}

TEST_P(FaultMatrixTest, OneLostTransferAnywhereIsRecovered) {
  ExpectRecoveredAtEverySample(Matrix(), Matrix().Samples(), "lost transfer",
                               [](TransferFaults &faults, const Step &step) { faults.FailNth(step.position); });
}

TEST_P(FaultMatrixTest, OneStalledTransferAnywhereIsRecovered) {
  ExpectRecoveredAtEverySample(Matrix(), Matrix().Samples(), "stall",
                               [](TransferFaults &faults, const Step &step) { faults.StallNth(step.position); });
}

TEST_P(FaultMatrixTest, OneFlippedBitInAnAnswerIsRecovered) {
  ExpectRecoveredAtEverySample(
      Matrix(), Matrix().Samples(true), "flipped answer bit",
      [](TransferFaults &faults, const Step &step) { faults.FlipNthAnswer(step.inPosition, 0x01); });
}

TEST_P(FaultMatrixTest, FlashBitsThatReadWrongOnceAreRecoveredAndStuckOnesFail) {
  FaultMatrix &matrix = Matrix();
  // A byte the image programs, in the block cut short at the end.
  const uint32_t address = static_cast<uint32_t>(matrix.Image().size() - 3);
  for (const Phase phase : kSampledPhases) {
    const uint64_t start = matrix.PhasePositions(phase).front();
    SCOPED_TRACE(Describe("flash bit flipped once", phase, start));
    ExpectRecovered(matrix.Run([&](ChipSimulator &chip, uint64_t position) {
      if (position == start)
        chip.Flash().Faults().FlipOnRead(address, 0x10, false);
    }));
  }
  for (const Phase phase : {Phase::StatusClear, Phase::BlankCheck, Phase::Program}) {
    const uint64_t start = matrix.PhasePositions(phase).front();
    SCOPED_TRACE(Describe("flash bit stuck", phase, start));
    const Outcome outcome = matrix.Run([&](ChipSimulator &chip, uint64_t position) {
      if (position == start)
        chip.Flash().Faults().FlipOnRead(address, 0x10, true);
    });
    ExpectHonestAndBounded(outcome);
    EXPECT_FALSE(outcome.verdict) << "a byte that never reads back right was reported programmed";
  }
}

TEST_P(FaultMatrixTest, FlashStuckBusyEndsInFailureInBoundedTime) {
  FaultMatrix &matrix = Matrix();
  for (const Phase phase : kSampledPhases) {
    const uint64_t start = matrix.PhasePositions(phase).front();
    SCOPED_TRACE(Describe("flash stuck busy from", phase, start));
    const Outcome outcome = matrix.Run([&](ChipSimulator &chip, uint64_t position) {
      if (position == start)
        chip.Flash().Faults().HangNextOperation();
    });
    ExpectHonestAndBounded(outcome);
    // Every phase up to the protect still has a program, an erase or a
    // status write to come, which now never ends.
    if (phase != Phase::Leave) {
      EXPECT_FALSE(outcome.verdict);
    }
  }
}

TEST_P(FaultMatrixTest, UnplugAnywhereEndsInFailureInBoundedTime) {
  FaultMatrix &matrix = Matrix();
  for (const Phase phase : kSampledPhases) {
    for (const uint64_t at : matrix.PhasePositions(phase)) {
      SCOPED_TRACE(Describe("unplug after", phase, at));
      const Outcome outcome = matrix.Run([&](ChipSimulator &chip, uint64_t position) {
        if (position == 0)
          chip.UnplugAfter(at);
      });
      ExpectHonestAndBounded(outcome);
      if (phase != Phase::Leave) {
        EXPECT_FALSE(outcome.verdict) << "success from a device that went away before the update ended";
      }
    }
  }
}

// A device unplugged in the middle of a flash step: no retry can reach it,
// and the verdict, with the reason, comes within two seconds.
TEST_P(FaultMatrixTest, UnplugMidStepEndsWithTheReasonWithinTwoSeconds) {
  FaultMatrix &matrix = Matrix();
  for (const Phase phase : {Phase::EraseWait, Phase::BlankCheck, Phase::Program, Phase::Verify}) {
    const uint64_t at = matrix.PhasePositions(phase)[1];
    SCOPED_TRACE(Describe("unplug", phase, at));
    uint64_t unpluggedUs = 0;
    const Outcome outcome = matrix.Run([&](ChipSimulator &chip, uint64_t position) {
      if (position == at) {
        chip.Unplug();
        unpluggedUs = chip.Time().Source().NowUs();
      }
    });
    ExpectHonestAndBounded(outcome);
    EXPECT_FALSE(outcome.verdict);
    EXPECT_EQ(outcome.reason, kReasonDisconnected);
    EXPECT_LE(outcome.endUs - unpluggedUs, kUnplugVerdictUs);
  }
}

// A connection that drops in the middle of a step (a late answer closes a
// virtual connection, a re-enumerated device has a new handle): the retry
// opens the device again, enters ISP mode again and the update succeeds.
TEST_P(FaultMatrixTest, ADroppedConnectionIsOpenedAgainAndTheRetrySucceeds) {
  FaultMatrix &matrix = Matrix();
  for (const Phase phase : {Phase::EraseWait, Phase::BlankCheck, Phase::Program, Phase::Verify}) {
    const uint64_t at = matrix.PhasePositions(phase)[1];
    SCOPED_TRACE(Describe("dropped connection", phase, at));
    ExpectRecovered(matrix.Run([](ChipSimulator &, uint64_t) {}, at));
  }
}

// A chip that stops answering mid-program: every transfer runs into the
// host's time-out, three in a row count as a lost device.
TEST_P(FaultMatrixTest, AWedgedDeviceGetsItsVerdictWithinThirtySeconds) {
  FaultMatrix &matrix = Matrix();
  for (const Phase phase : {Phase::EraseWait, Phase::Program}) {
    const uint64_t at = matrix.PhasePositions(phase)[1];
    SCOPED_TRACE(Describe("wedged", phase, at));
    uint64_t wedgedUs = 0;
    const Outcome outcome = matrix.Run([&](ChipSimulator &chip, uint64_t position) {
      if (position == at) {
        chip.Faults().Wedge(kTransferTimeoutMs);
        wedgedUs = chip.Time().Source().NowUs();
      }
    });
    ExpectHonestAndBounded(outcome);
    EXPECT_FALSE(outcome.verdict);
    EXPECT_EQ(outcome.reason, kReasonStoppedAnswering);
    EXPECT_LE(outcome.endUs - wedgedUs, kWedgedVerdictUs);
  }
}

TEST_P(FaultMatrixTest, AChipThatNeverEntersIspModeIsSentNoFlashWork) {
  const Outcome outcome = Matrix().Run([](ChipSimulator &chip, uint64_t position) {
    if (position == 0)
      chip.Faults().StallEvery(kIspEnterRequest);
  });
  ExpectHonestAndBounded(outcome);
  EXPECT_FALSE(outcome.verdict);
  EXPECT_EQ(outcome.reason, kReasonNoIspMode);
  EXPECT_EQ(outcome.flashWrites, 0u) << "no erase, program or status write";
  EXPECT_EQ(outcome.flashReads, 0u) << "no blank check or verify";
  EXPECT_LE(outcome.virtualUs, kNoIspVerdictUs);
}

TEST_P(FaultMatrixTest, AnAlwaysBusyFlashEndsWithinTheUpdatesDeadline) {
  FaultMatrix &matrix = Matrix();
  const Outcome outcome = matrix.Run([](ChipSimulator &chip, uint64_t position) {
    if (position == 0)
      chip.Flash().Faults().HangNextOperation();
  });
  ExpectHonestAndBounded(outcome);
  EXPECT_FALSE(outcome.verdict);
  EXPECT_LE(outcome.virtualUs,
            UpdateTimeLimitMs(matrix.Part().jedecId, static_cast<uint32_t>(matrix.Image().size()), 3) * 1000);
}

INSTANTIATE_TEST_SUITE_P(Parts, FaultMatrixTest, ::testing::Values("C22012", "C22011", "EF4012", "BF258C"));

} // namespace
} // namespace orvane::sim
