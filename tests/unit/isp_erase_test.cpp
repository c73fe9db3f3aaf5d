#include "chip_test_rig.h"
#include "isp/FlashErase.h"
#include "sequence_rig.h"
#include "usb_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace orvane::test {
namespace {

// Every text the erase wrote, label by label.
class EraseTexts final : public IspView {
public:
  void ShowProcessInfo(const std::string &text) override { info.push_back(text); }
  void ShowProcessAddress(const std::string &) override {}
  void ShowStatusRegister(const std::string &text) override { status.push_back(text); }
  void ProcessMessages() override { ++turns; }

  std::vector<std::string> info, status;
  int turns = 0;
};

// A chip whose flash answers each status read with the next value of a
// script, and the last one once the script has run out.
class StatusScriptChip {
public:
  explicit StatusScriptChip(std::vector<uint8_t> statuses) : statuses_(std::move(statuses)) {
    device_.SetHandler([this](const SetupPacket &s, uint8_t *data) { return Answer(s, data); });
  }

  ScriptedDevice &Device() { return device_; }
  size_t StatusReads() const { return reads_; }

private:
  TransferResult Answer(const SetupPacket &s, uint8_t *data) {
    if (s.request == vendor::kFlashReady) {
      data[0] = 1;
    } else if (s.request == vendor::kFlashFetch) {
      data[0] = statuses_[std::min(reads_, statuses_.size() - 1)];
      ++reads_;
    }
    return {TransferStatus::Completed, s.length};
  }

  std::vector<uint8_t> statuses_;
  size_t reads_ = 0;
  ScriptedDevice device_{Identity(0x3b5d, 0x6000)};
};

struct ScriptedEraseRig {
  explicit ScriptedEraseRig(std::vector<uint8_t> statuses) : script(std::move(statuses)) {}

  bool Run(bool wholeChip) {
    FlashWorkers workers(rig.chip, image, flash, texts);
    return FlashErase(rig.chip, workers).Run(wholeChip, flash, texts);
  }
  // Flash instructions of one opcode sent on the channel.
  long Sent(uint8_t opcode) const {
    return std::count_if(rig.Wire().begin(), rig.Wire().end(), [&](const RecordedTransfer &t) {
      return t.setup.request == vendor::kFlashWrite && !t.out.empty() && t.out[0] == opcode;
    });
  }

  StatusScriptChip script;
  ChipRig rig{script.Device()};
  ImageRecord image;
  FlashState flash;
  EraseTexts texts;
};

std::vector<uint8_t> Busy(size_t reads, uint8_t busyStatus, uint8_t thenStatus) {
  std::vector<uint8_t> statuses(reads, busyStatus);
  statuses.push_back(thenStatus);
  return statuses;
}

TEST(EraseWaitTest, WriteInProgressKeepsWaitingAndOnlyBitZeroCounts) {
  ScriptedEraseRig erase(Busy(3, 0x03, 0x02)); // write enable latch set throughout
  EXPECT_TRUE(erase.Run(true));
  EXPECT_EQ(erase.script.StatusReads(), 4u);
  EXPECT_EQ(erase.texts.status, (std::vector<std::string>{"Status Register: 0x03", "Status Register: 0x03",
                                                          "Status Register: 0x03", "Status Register: 0x02"}));
  EXPECT_EQ(erase.rig.clock.NowUs(), 10'000u + 3 * 10'000u) << "10 ms first, then 10 ms after each busy read";
  EXPECT_FALSE(erase.flash.IspFailed);
  EXPECT_EQ(erase.texts.turns, 4) << "the window turns after every poll";
  EXPECT_EQ(erase.Sent(flashop::kWriteEnable), 1);
  EXPECT_EQ(erase.Sent(flashop::kChipErase), 1);
  EXPECT_FALSE(erase.rig.usb.HasHandle());
}

TEST(EraseWaitTest, TheChipEraseTextGrowsADotEveryTwentyPollsAndWrapsAfterNine) {
  ScriptedEraseRig erase(Busy(201, 0x01, 0x00));
  EXPECT_TRUE(erase.Run(true));
  const auto &info = erase.texts.info;
  ASSERT_EQ(info.size(), 1u + 202u);
  EXPECT_EQ(info[0], "Flash Erase All ");
  EXPECT_EQ(info[1 + 19], "Flash Erase All ");
  EXPECT_EQ(info[1 + 20], "Flash Erase All .");
  EXPECT_EQ(info[1 + 199], "Flash Erase All .........");
  EXPECT_EQ(info[1 + 200], "Flash Erase All ");
}

TEST(EraseWaitTest, AnEraseThatNeverFinishesFailsAfterAThousandReads) {
  ScriptedEraseRig erase({0x03});
  EXPECT_FALSE(erase.Run(true));
  EXPECT_EQ(erase.script.StatusReads(), 1000u);
  EXPECT_EQ(erase.texts.info.back(), "Erase Flash Fail");
  EXPECT_TRUE(erase.flash.IspFailed);
  EXPECT_FALSE(erase.rig.usb.HasHandle());
}

TEST(EraseWaitTest, ASectorThatNeverFinishedFailsTheEraseThoughTheNextOneDid) {
  ScriptedEraseRig erase(Busy(1000, 0x01, 0x00));
  erase.flash.RangeStart = 0x10000;
  erase.flash.RangeSize = 0x2000;
  EXPECT_FALSE(erase.Run(false));
  EXPECT_EQ(erase.Sent(flashop::kSectorErase), 2) << "the loop goes on";
  EXPECT_EQ(erase.texts.info.back(), "Erase Flash Fail");
  EXPECT_TRUE(erase.flash.IspFailed);
}

TEST(EraseWaitTest, AnEmptyRangeErasesAndReportsNothing) {
  ScriptedEraseRig erase({0x00});
  erase.flash.RangeStart = 0x10000;
  erase.flash.RangeSize = 0;
  EXPECT_TRUE(erase.Run(false));
  EXPECT_EQ(erase.texts.info, std::vector<std::string>{"Flash Sector Erase"});
  EXPECT_EQ(erase.Sent(flashop::kSectorErase), 0);
  EXPECT_FALSE(erase.flash.IspFailed);
}

// The erase on the simulated part.
struct SimEraseRig : SequenceRig {
  SimEraseRig() : SequenceRig("C22012", ImageBytes(0x30000, 0x55)) {}

  bool Run(bool wholeChip) {
    FlashWorkers workers(commands, image, flash, texts);
    return FlashErase(commands, workers).Run(wholeChip, flash, texts);
  }

  EraseTexts texts;
};

TEST(SimEraseTest, SixtyFourKilobytesFromSixtyFourAreSixteenSectors) {
  SimEraseRig rig;
  const auto old = rig.chip.Flash().Contents();
  EXPECT_TRUE(rig.usb.Open());
  EXPECT_TRUE(rig.commands.SetIspMode(true));
  rig.flash.RangeStart = 64 * 1024;
  rig.flash.RangeSize = 64 * 1024;

  EXPECT_TRUE(rig.Run(false));
  std::vector<uint32_t> expected;
  for (uint32_t a = 0x10000; a <= 0x1F000; a += 0x1000)
    expected.push_back(a);
  EXPECT_EQ(rig.SectorErases(), expected);
  const auto &now = rig.chip.Flash().Contents();
  EXPECT_TRUE(std::all_of(now.begin() + 0x10000, now.begin() + 0x20000, [](uint8_t b) { return b == 0xFF; }));
  EXPECT_TRUE(std::equal(old.begin(), old.begin() + 0x10000, now.begin()));
  EXPECT_TRUE(std::equal(old.begin() + 0x20000, old.end(), now.begin() + 0x20000));
  EXPECT_EQ(rig.texts.info.back(), "Flash Sector Erase: 0x 01F000");
  EXPECT_FALSE(rig.flash.IspFailed);
}

TEST(SimEraseTest, AChipEraseStuckBusyFails) {
  SimEraseRig rig;
  EXPECT_TRUE(rig.usb.Open());
  EXPECT_TRUE(rig.commands.SetIspMode(true));
  rig.chip.Flash().Faults().HangNextOperation();

  EXPECT_FALSE(rig.Run(true));
  EXPECT_EQ(rig.texts.info.back(), "Erase Flash Fail");
  EXPECT_TRUE(rig.flash.IspFailed);
  EXPECT_EQ(rig.texts.status.size(), 1000u);
  EXPECT_EQ(rig.texts.status.back(), "Status Register: 0x03");
}

} // namespace
} // namespace orvane::test
