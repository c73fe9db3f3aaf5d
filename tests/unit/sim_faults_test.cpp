#include "sim_wire.h"

#include <gtest/gtest.h>

namespace orvane::sim {
namespace {

using namespace wire;

TEST(TransferFaultTest, NthTransferFailsOrStalls) {
  VirtualClock clock;
  ChipSimulator chip(clock);
  chip.Faults().FailNth(2);
  chip.Faults().StallNth(3);
  EXPECT_TRUE(WriteRegister(chip, 0x05, 0x11));
  EXPECT_EQ(Out(chip, 0x90, 0, 0x05, {0x22}).status, TransferStatus::Failed);
  EXPECT_EQ(Out(chip, 0x90, 0, 0x05, {0x33}).status, TransferStatus::Stalled);
  EXPECT_EQ(ReadRegister(chip, 0x05), 0x11) << "a lost or rejected write changes nothing";
  EXPECT_TRUE(WriteRegister(chip, 0x05, 0x44));
}

TEST(TransferFaultTest, EveryTransferOfOneRequestCode) {
  VirtualClock clock;
  ChipSimulator chip(clock);
  EnterIsp(chip);
  chip.Faults().FailEvery(0x82);
  std::vector<uint8_t> reply(1);
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(In(chip, 0x82, 0, 0, reply).status, TransferStatus::Failed);
  EXPECT_TRUE(Ready(chip));
  TransferFault stallSecondRead{FaultAction::Stall, 0x91, true, 2};
  chip.Faults().Add(stallSecondRead);
  EXPECT_TRUE(In(chip, 0x91, 0, 1, reply).ok());
  EXPECT_EQ(In(chip, 0x91, 0, 1, reply).status, TransferStatus::Stalled);
  EXPECT_TRUE(In(chip, 0x91, 0, 1, reply).ok());
  chip.Faults().Clear();
  EXPECT_TRUE(In(chip, 0x82, 0, 0, reply).ok());
}

TEST(TransferFaultTest, DelayedAnswerTakesClockTime) {
  VirtualClock clock;
  ChipSimulator chip(clock);
  chip.Faults().Add({FaultAction::Delay, 0x91, std::nullopt, 1, 250});
  ReadRegister(chip, 0x00);
  EXPECT_EQ(clock.NowUs(), 250'000u);
}

TEST(TransferFaultTest, FlippedBitsInTheNthAnswerOnly) {
  VirtualClock clock;
  ChipSimulator chip(clock);
  WriteRegister(chip, 0x05, 0x30);
  chip.Faults().FlipNthAnswer(2, 0x81);
  EXPECT_EQ(ReadRegister(chip, 0x05), 0x30);
  EXPECT_TRUE(WriteRegister(chip, 0x06, 0x00)) << "OUT transfers are not counted";
  EXPECT_EQ(ReadRegister(chip, 0x05), 0xB1);
  EXPECT_EQ(ReadRegister(chip, 0x05), 0x30);
}

TEST(TransferFaultTest, UnplugAfterSomeTransfers) {
  VirtualClock clock;
  ChipSimulator chip(clock);
  const uint64_t generation = chip.Generation();
  chip.UnplugAfter(2);
  EXPECT_TRUE(WriteRegister(chip, 0x05, 1));
  EXPECT_TRUE(chip.Present());
  EXPECT_TRUE(WriteRegister(chip, 0x05, 2));
  EXPECT_FALSE(chip.Present());
  EXPECT_EQ(Out(chip, 0x90, 0, 0x05, {3}).status, TransferStatus::Gone);
  chip.Replug();
  EXPECT_TRUE(chip.Present());
  EXPECT_NE(chip.Generation(), generation);
  EXPECT_EQ(ReadRegister(chip, 0x05), 0x00) << "powered up afresh";
}

TEST(FlashFaultTest, FlippedBitsOnceOrStuck) {
  VirtualClock clock;
  ChipSimulator chip(clock);
  std::vector<uint8_t> content(64, 0x00);
  chip.Flash().Load(0x1000, content.data(), content.size());
  EnterIsp(chip);
  chip.Flash().Faults().FlipOnRead(0x1005, 0x04, false);
  chip.Flash().Faults().FlipOnRead(0x1010, 0x80, true);
  auto first = Read(chip, 0x1000, 64);
  EXPECT_EQ(first[5], 0x04);
  EXPECT_EQ(first[0x10], 0x80);
  auto second = Read(chip, 0x1000, 64);
  EXPECT_EQ(second[5], 0x00) << "a one-time flip reads right the next time";
  EXPECT_EQ(second[0x10], 0x80) << "a stuck bit reads wrong every time";
  EXPECT_EQ(chip.Flash().Contents()[0x1010], 0x00) << "the array itself holds the right value";
}

TEST(FlashFaultTest, OperationThatNeverFinishes) {
  VirtualClock clock;
  ChipSimulator chip(clock);
  EnterIsp(chip);
  chip.Flash().Faults().HangNextOperation();
  WriteEnable(chip);
  Command(chip, {0xC7});
  EXPECT_FALSE(WaitIdle(chip, 1000, 10));
  EXPECT_EQ(Status(chip) & 0x01, 0x01);
  WriteEnable(chip);
  EXPECT_EQ(Status(chip) & 0x02, 0x02) << "the latch set for the erase is still there; nothing new accepted";
}

} // namespace
} // namespace orvane::sim
