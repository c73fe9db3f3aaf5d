// The one owner of the interruption handler and its deadline timer: what
// the system is asked to do as updates hold and release, one or several
// at once.

#include "cli/InterruptionHold.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orvane::cli {
namespace {

// Records every request as a word, and the timers started.
class RecordingSwitch final : public InterruptionSwitch {
public:
  void Catch(bool on) override { calls.push_back(on ? "catch" : "uncatch"); }
  void StartTimer(uint64_t ms, uint64_t ticket) override {
    calls.push_back("start " + std::to_string(ms));
    lastTicket = ticket;
  }
  void StopTimer() override { calls.push_back("stop"); }

  std::vector<std::string> calls;
  uint64_t lastTicket = 0;
};

class InterruptionHoldTest : public ::testing::Test {
protected:
  RecordingSwitch system;
  VirtualClock clock;
  InterruptionHold hold{system, clock};
};

using Calls = std::vector<std::string>;

TEST_F(InterruptionHoldTest, OneHoldCatchesOnceAndItsReleaseTakesHandlerAndTimerAway) {
  hold.Set(true, 3000);
  EXPECT_TRUE(hold.Holding());
  hold.Set(false, 0);
  EXPECT_FALSE(hold.Holding());
  EXPECT_EQ(system.calls, (Calls{"catch", "start 3000", "stop", "uncatch"}));
}

TEST_F(InterruptionHoldTest, HoldHoldReleaseLeavesNoHandlerBehind) {
  hold.Set(true, 5000);
  hold.Set(true, 9000);
  hold.Set(false, 0);
  EXPECT_FALSE(hold.Holding());
  EXPECT_EQ(system.calls, (Calls{"catch", "start 5000", "stop", "start 9000", "stop", "uncatch"}));
}

TEST_F(InterruptionHoldTest, AShortHoldsDeadlineCannotEndALongerLaterHold) {
  hold.Set(true, 1000);
  const uint64_t shortTicket = system.lastTicket;
  clock.AdvanceUs(500'000);
  hold.Set(true, 60'000);
  // The first timer fires late, after it was replaced: nothing changes.
  clock.AdvanceUs(600'000);
  hold.DeadlinePassed(shortTicket);
  EXPECT_TRUE(hold.Holding());
  EXPECT_EQ(system.calls, (Calls{"catch", "start 1000", "stop", "start 60000"}));
  // The long one's own deadline does end it.
  hold.DeadlinePassed(system.lastTicket);
  EXPECT_FALSE(hold.Holding());
  EXPECT_EQ(system.calls.back(), "uncatch");
}

TEST_F(InterruptionHoldTest, ALaterShorterHoldKeepsTheDeadlineAlreadyGiven) {
  hold.Set(true, 10'000);
  clock.AdvanceUs(2'000'000);
  hold.Set(true, 1000);
  // 8 s of the first hold are left, more than the second asks for.
  EXPECT_EQ(system.calls.back(), "start 8000");
}

TEST_F(InterruptionHoldTest, TheDeadlineGivesTheProgramBackAndFreesTheTimer) {
  hold.Set(true, 2500);
  EXPECT_EQ(system.calls, (Calls{"catch", "start 3000"})) << "rounded up to whole seconds";
  hold.DeadlinePassed(system.lastTicket);
  EXPECT_FALSE(hold.Holding());
  EXPECT_EQ(system.calls, (Calls{"catch", "start 3000", "stop", "uncatch"}));
  // The release that follows has nothing left to take away.
  hold.Set(false, 0);
  EXPECT_EQ(system.calls.size(), 4u);
}

TEST_F(InterruptionHoldTest, ATimerFiringAfterTheReleaseDoesNothing) {
  hold.Set(true, 1000);
  const uint64_t ticket = system.lastTicket;
  hold.Set(false, 0);
  hold.Set(true, 4000);
  hold.DeadlinePassed(ticket);
  EXPECT_TRUE(hold.Holding());
  EXPECT_EQ(system.calls, (Calls{"catch", "start 1000", "stop", "uncatch", "catch", "start 4000"}));
}

TEST_F(InterruptionHoldTest, ZeroStillHoldsForASecondAndAHugeLimitDoesNotOverflow) {
  hold.Set(true, 0);
  EXPECT_EQ(system.calls.back(), "start 1000");
  hold.Set(false, 0);
  hold.Set(true, UINT64_MAX);
  EXPECT_TRUE(hold.Holding());
  const std::string started = system.calls.back();
  ASSERT_EQ(started.rfind("start ", 0), 0u);
  EXPECT_GT(std::stoull(started.substr(6)), uint64_t{1} << 40);
}

TEST_F(InterruptionHoldTest, AReleaseWithoutAHoldAsksNothing) {
  hold.Set(false, 0);
  EXPECT_TRUE(system.calls.empty());
}

} // namespace
} // namespace orvane::cli
