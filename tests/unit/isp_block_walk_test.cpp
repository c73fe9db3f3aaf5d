#include "isp/BlockWalk.h"
#include "isp/FlashPolicy.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

namespace orvane {
namespace {

// Every event a walk tells, in order, as one line each.
struct EventLog final : FlashEvents {
  void BlockReached(FlashPhase, uint32_t address) override { lines.push_back("at " + std::to_string(address)); }
  void BlocksDone(FlashPhase, uint32_t done, uint32_t total) override {
    lines.push_back("done " + std::to_string(done) + "/" + std::to_string(total));
  }
  void WalkFailed(FlashPhase, const std::string &reason) override { lines.push_back("failed: " + reason); }
  void ProcessMessages() override { ++turns; }

  std::vector<std::string> lines;
  int turns = 0;
};

// A gate that lets the walk on while it has passes left and counts the
// recoveries it is told of.
struct CountedGate final : WalkGate {
  bool Resume() override {
    ++asked;
    if (recoverAt == asked)
      ++recoveries;
    return asked <= passes;
  }
  uint64_t Recoveries() const override { return recoveries; }

  int passes = 1000;
  int asked = 0;
  int recoverAt = -1;
  uint64_t recoveries = 0;
};

// Looks the script's outcomes up in order, the last one again once it has run out.
BlockWalk::Look Scripted(std::deque<BlockLook::Outcome> script, std::vector<uint32_t> &looked) {
  return [script, &looked](uint32_t address) mutable {
    looked.push_back(address);
    const BlockLook::Outcome outcome = script.front();
    if (script.size() > 1)
      script.pop_front();
    return BlockLook{outcome, outcome != BlockLook::Outcome::Unanswered, address + 5};
  };
}

using Outcome = BlockLook::Outcome;

TEST(OneBlockWalkTest, EveryBlockOfTheRangeIsLookedAtOnceAndToldAsReachedAndDone) {
  EventLog events;
  std::vector<uint32_t> looked;
  BlockWalk walk(FlashPhase::Verify, events);
  ASSERT_TRUE(walk.Run(0x40, 0x40 + 2 * kReadBlockBytes + 1, Scripted({Outcome::Good}, looked)));
  EXPECT_EQ(looked, (std::vector<uint32_t>{0x40, 0x80, 0xC0}));
  EXPECT_EQ(events.lines, (std::vector<std::string>{"at 64", "done 1/3", "at 128", "done 2/3", "at 192", "done 3/3"}));
  EXPECT_EQ(events.turns, 3) << "the window turns after every block read";
  EXPECT_TRUE(walk.Failure().empty());
}

TEST(OneBlockWalkTest, ABlockThatReadsWrongThreeTimesInARowFailsTheWalkWhereTheLastLookSaid) {
  EventLog events;
  std::vector<uint32_t> looked;
  BlockWalk walk(FlashPhase::BlankCheck, events);
  EXPECT_FALSE(walk.Run(0, 0x100, Scripted({Outcome::Good, Outcome::Bad, Outcome::Bad, Outcome::Bad}, looked)));
  EXPECT_EQ(looked, (std::vector<uint32_t>{0x00, 0x40, 0x40, 0x40}));
  EXPECT_EQ(walk.Failure(), "Blanking Fail at 0x000045");
  EXPECT_EQ(events.lines.back(), "failed: Blanking Fail at 0x000045");
  EXPECT_EQ(kBlockTries, 3);
}

TEST(OneBlockWalkTest, AGoodLookBetweenBadOnesStartsTheCountAgain) {
  EventLog events;
  std::vector<uint32_t> looked;
  BlockWalk walk(FlashPhase::Verify, events);
  EXPECT_TRUE(walk.Run(
      0, 0x80,
      Scripted({Outcome::Bad, Outcome::Bad, Outcome::Good, Outcome::Bad, Outcome::Bad, Outcome::Good}, looked)));
  EXPECT_EQ(looked, (std::vector<uint32_t>{0x00, 0x00, 0x00, 0x40, 0x40, 0x40}));
}

TEST(OneBlockWalkTest, AnUnansweredLookSpendsNoTryAndTheGateDecidesWhetherToLookAgain) {
  EventLog events;
  std::vector<uint32_t> looked;
  CountedGate gate;
  BlockWalk walk(FlashPhase::Verify, events, &gate);
  EXPECT_TRUE(walk.Run(
      0, 0x40,
      Scripted({Outcome::Bad, Outcome::Bad, Outcome::Unanswered, Outcome::Unanswered, Outcome::Good}, looked)));
  EXPECT_EQ(looked.size(), 5u) << "two unanswered looks cost no tries";
  EXPECT_EQ(gate.asked, 5);

  CountedGate closing;
  closing.passes = 2;
  std::vector<uint32_t> again;
  BlockWalk stopped(FlashPhase::Verify, events, &closing);
  EXPECT_FALSE(stopped.Run(0, 0x40, Scripted({Outcome::Unanswered}, again)));
  EXPECT_EQ(again.size(), 2u);
  EXPECT_TRUE(stopped.Failure().empty()) << "a walk the gate ended has no failure of the flash";
}

TEST(OneBlockWalkTest, TriesSpentBeforeARecoveryWereTheSilencesNotTheFlashs) {
  EventLog events;
  std::vector<uint32_t> looked;
  CountedGate gate;
  gate.recoverAt = 3; // the device comes back before the third look
  BlockWalk walk(FlashPhase::Verify, events, &gate);
  EXPECT_TRUE(
      walk.Run(0, 0x40, Scripted({Outcome::Bad, Outcome::Bad, Outcome::Bad, Outcome::Bad, Outcome::Good}, looked)));
  EXPECT_EQ(looked.size(), 5u);
}

TEST(OneBlockWalkTest, AnEmptyRangeLooksAtNothingAndPasses) {
  EventLog events;
  std::vector<uint32_t> looked;
  BlockWalk walk(FlashPhase::ReadBack, events);
  EXPECT_TRUE(walk.Run(0x100, 0x100, Scripted({Outcome::Bad}, looked)));
  EXPECT_TRUE(looked.empty());
  EXPECT_TRUE(events.lines.empty());
  EXPECT_EQ(BlocksBetween(0x100, 0x100, kReadBlockBytes), 0u);
  EXPECT_EQ(BlocksBetween(0, 65, kReadBlockBytes), 2u);
}

TEST(FlashEventTextsTest, EachPhaseHasTheIspPagesWords) {
  EXPECT_EQ(BlockAddressText(FlashPhase::BlankCheck, 0x40), "Blanking Addr: 0x000040");
  EXPECT_EQ(BlockAddressText(FlashPhase::Verify, 0x40), "Verifying Addr: 0x000040");
  EXPECT_EQ(BlockAddressText(FlashPhase::ReadBack, 0x40), "Verifying Addr: 0x000040");
  EXPECT_EQ(BlockAddressText(FlashPhase::Program, 0x100), "0x000100");
  EXPECT_EQ(WalkFailureText(FlashPhase::BlankCheck, 0x41), "Blanking Fail at 0x000041");
  EXPECT_EQ(WalkFailureText(FlashPhase::ReadBack, 0x41), "Verifying Fail at 0x000041");
}

} // namespace
} // namespace orvane
