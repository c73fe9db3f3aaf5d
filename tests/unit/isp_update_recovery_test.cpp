// The one-button update where a step did not take: what it waits for,
// what a retry starts over, and when it must not claim success.

#include "sim/SampleFirmware.h"
#include "testing/ForwardingDevice.h"
#include "testing/SimulatedUpdate.h"

#include <gtest/gtest.h>

#include <functional>

namespace orvane::sim {
namespace {

constexpr uint64_t kFullSpeedUs = 1000;
constexpr uint64_t kHighSpeedUs = 125;

class QuietViews final : public SilentIspView, public UpdateStatusView {
public:
  void ShowStatus(const std::string &, StatusTone) override {}
  void ProcessMessages() override {}
};

// Loses the first transfer that matches on its way to the device.
class LosingDevice final : public ForwardingDevice {
public:
  using Match = std::function<bool(const SetupPacket &, const uint8_t *)>;
  LosingDevice(VirtualDevice &inner, Match match) : ForwardingDevice(inner), match_(std::move(match)) {}

  TransferResult Control(const SetupPacket &setup, uint8_t *data) override {
    if (!lost_ && match_(setup, data)) {
      lost_ = true;
      return {TransferStatus::Failed, 0};
    }
    return Inner().Control(setup, data);
  }
  bool Lost() const { return lost_; }

private:
  Match match_;
  bool lost_ = false;
};

// A flash instruction of exactly these bytes.
LosingDevice::Match Instruction(std::vector<uint8_t> bytes) {
  return [bytes](const SetupPacket &setup, const uint8_t *data) {
    return setup.request == 0x80 && !setup.isIn() && setup.length == bytes.size() &&
           std::equal(bytes.begin(), bytes.end(), data);
  };
}

SimConfig PartConfig(const char *part) {
  SimConfig config;
  config.flashPart = *FindFlashPart(part);
  return config;
}

std::vector<uint8_t> Firmware(size_t bytes) {
  return GenerateSampleFirmware(DefaultSimModel(), bytes);
}

struct Verdict {
  bool success;
  int attempts;
};

Verdict RunUpdate(SimulatedUpdate &update, const std::vector<uint8_t> &image) {
  update.LoadImage(image);
  QuietViews views;
  const bool success = update.Run(views, views);
  return {success, update.AttemptsRun()};
}

constexpr uint8_t kBlockProtectBits = 0x0C;

TEST(UpdateWaitTest, PageStillProgrammingWhenTheWalkEndsIsWaitedForBeforeTheVerify) {
  // A part at the slow end of its datasheet on a high-speed bus: the verify
  // would start while the last page still programs, and the flash answers
  // no read until it is done.
  SimConfig config = PartConfig("C22012");
  config.flashPart.timings.pageProgramUs = 5000;
  SimulatedUpdate update(config, kHighSpeedUs);
  ASSERT_TRUE(update.Connect());
  const auto image = Firmware(4096);

  const Verdict verdict = RunUpdate(update, image);

  EXPECT_TRUE(verdict.success);
  EXPECT_EQ(verdict.attempts, 1);
  EXPECT_TRUE(update.FlashHoldsImage());
}

TEST(UpdateRetryTest, LostWriteDisableAfterAWordProgramDoesNotLeaveJunkBehindTheImage) {
  // The flash then stays in its word-program sequence: it ignores the
  // erase and the reads (which look blank) and goes on writing words where
  // the sequence stood, past the end of the image.
  SimulatedUpdate update(PartConfig("BF258C"), kFullSpeedUs);
  LosingDevice bus(update.Chip(), Instruction({0x04}));
  ASSERT_TRUE(update.Connect(&bus));
  const auto image = Firmware(256); // one chunk: the write disable lost is the last one

  const Verdict verdict = RunUpdate(update, image);

  ASSERT_TRUE(bus.Lost());
  EXPECT_TRUE(verdict.success);
  EXPECT_EQ(verdict.attempts, 2);
  EXPECT_TRUE(update.FlashHoldsImage()) << "the flash holds the image and nothing else";
}

TEST(UpdateRetryTest, LostEnterRequestIsSentAgainByTheRetry) {
  SimulatedUpdate update(PartConfig("EF4012"), kFullSpeedUs);
  update.Chip().Faults().FailNth(1);
  ASSERT_TRUE(update.Connect());

  const Verdict verdict = RunUpdate(update, Firmware(2048));

  EXPECT_TRUE(verdict.success);
  EXPECT_EQ(verdict.attempts, 2);
  EXPECT_EQ(update.Chip().TransferCount(0x84), 2u);
  EXPECT_TRUE(update.FlashHoldsImage());
}

TEST(UpdateRetryTest, GarbledIdentifierIsReadAgainByTheRetry) {
  // BF read as BE: page programs that this part takes one byte of.
  SimulatedUpdate update(PartConfig("BF258C"), kFullSpeedUs);
  update.Chip().Faults().FlipNthAnswer(2, 0x01); // the identifier, after its ready poll
  ASSERT_TRUE(update.Connect());

  const Verdict verdict = RunUpdate(update, Firmware(2048));

  EXPECT_TRUE(verdict.success);
  EXPECT_EQ(verdict.attempts, 2);
  EXPECT_TRUE(update.Flash().WordProgramMode);
  EXPECT_TRUE(update.FlashHoldsImage());
}

TEST(UpdateEndTest, ProtectThatDidNotTakeIsWrittenAgain) {
  SimulatedUpdate update(PartConfig("C22012"), kFullSpeedUs);
  LosingDevice bus(update.Chip(), Instruction({0x01, 0xFF}));
  ASSERT_TRUE(update.Connect(&bus));

  const Verdict verdict = RunUpdate(update, Firmware(2048));

  ASSERT_TRUE(bus.Lost());
  EXPECT_TRUE(verdict.success);
  EXPECT_EQ(verdict.attempts, 1);
  EXPECT_EQ(update.Chip().Flash().Status() & kBlockProtectBits, kBlockProtectBits);
}

TEST(UpdateEndTest, FlashThatWillNotTakeTheProtectionIsAFailure) {
  SimulatedUpdate update(PartConfig("C22012"), kFullSpeedUs);
  // Each of the three protecting writes lost on the way.
  LosingDevice first(update.Chip(), Instruction({0x01, 0xFF}));
  LosingDevice second(first, Instruction({0x01, 0xFF}));
  LosingDevice third(second, Instruction({0x01, 0xFF}));
  ASSERT_TRUE(update.Connect(&third));

  const Verdict verdict = RunUpdate(update, Firmware(2048));

  EXPECT_TRUE(first.Lost() && second.Lost() && third.Lost());
  EXPECT_FALSE(verdict.success) << "a verified image in an unprotected flash is not a finished update";
  EXPECT_TRUE(update.FlashHoldsImage());
  EXPECT_EQ(update.Chip().Flash().Status() & kBlockProtectBits, 0);
  EXPECT_FALSE(update.Chip().InIspMode()) << "the chip is let go all the same";
}

TEST(UpdateEndTest, ChipThatDoesNotLeaveIspModeIsAFailureAfterThreeRequests) {
  SimulatedUpdate update(PartConfig("C22012"), kFullSpeedUs);
  update.Chip().Faults().StallEvery(0x85);
  ASSERT_TRUE(update.Connect());

  const Verdict verdict = RunUpdate(update, Firmware(2048));

  EXPECT_FALSE(verdict.success) << "the chip would not start the new firmware";
  EXPECT_EQ(update.Chip().TransferCount(0x85), 3u);
  EXPECT_TRUE(update.Chip().InIspMode());
  EXPECT_TRUE(update.FlashHoldsImage());
}

} // namespace
} // namespace orvane::sim
