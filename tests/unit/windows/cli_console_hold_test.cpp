// The console handler of the Windows build on the real system calls:
// installed once however often updates hold, gone after the release or
// the deadline, and what it answers each console event.

#include "cli/windows/ConsoleInterruptions.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <thread>

namespace orvane::cli {
namespace {

class ConsoleHoldTest : public ::testing::Test {
protected:
  ~ConsoleHoldTest() override { ConsoleHold().Set(false, 0); }
  ConsoleSwitch &system = ConsoleHoldSwitch();
};

TEST_F(ConsoleHoldTest, NestedHoldsInstallTheHandlerOnceAndOneReleaseRemovesIt) {
  const uint64_t installs = system.Installs();
  const uint64_t removals = system.Removals();
  ConsoleHold().Set(true, 60'000);
  ConsoleHold().Set(true, 120'000);
  EXPECT_EQ(system.Installs(), installs + 1);
  EXPECT_EQ(ConsoleRequest(CTRL_C_EVENT), TRUE) << "held: Ctrl+C is swallowed";
  EXPECT_EQ(ConsoleRequest(CTRL_BREAK_EVENT), TRUE);
  ConsoleHold().Set(false, 0);
  EXPECT_EQ(system.Removals(), removals + 1);
  EXPECT_EQ(ConsoleRequest(CTRL_C_EVENT), FALSE) << "released: Ctrl+C ends the program again";
  // The handler is really off the system's list: removing it again fails.
  EXPECT_FALSE(::SetConsoleCtrlHandler(ConsoleRequest, FALSE));
}

TEST_F(ConsoleHoldTest, TheDeadlineTimerGivesCtrlCBack) {
  const uint64_t removals = system.Removals();
  ConsoleHold().Set(true, 1); // one second, the shortest hold
  EXPECT_EQ(::WaitForSingleObject(system.Released(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
  ASSERT_EQ(::WaitForSingleObject(system.Released(), 5000), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_FALSE(ConsoleHold().Holding());
  // A release asks nothing more of the system now; it only waits for the
  // deadline's callback to be done.
  ConsoleHold().Set(false, 0);
  EXPECT_EQ(system.Removals(), removals + 1);
  EXPECT_EQ(ConsoleRequest(CTRL_C_EVENT), FALSE);
}

TEST_F(ConsoleHoldTest, AShortHoldsTimerDoesNotEndALongerOneThatFollowed) {
  ConsoleHold().Set(true, 1);
  ConsoleHold().Set(true, 60'000);
  // Well past the first hold's second: still held.
  EXPECT_EQ(::WaitForSingleObject(system.Released(), 2000), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_TRUE(ConsoleHold().Holding());
  EXPECT_EQ(ConsoleRequest(CTRL_C_EVENT), TRUE);
}

TEST_F(ConsoleHoldTest, AClosingConsoleWaitsForTheReleaseAndNoLonger) {
  ConsoleHold().Set(true, 60'000);
  std::thread release([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ConsoleHold().Set(false, 0);
  });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(ConsoleRequest(CTRL_CLOSE_EVENT), TRUE);
  const auto took = std::chrono::steady_clock::now() - start;
  release.join();
  EXPECT_GE(took, std::chrono::milliseconds(250));
  EXPECT_LT(took, std::chrono::milliseconds(kCloseGraceMs));
  EXPECT_EQ(ConsoleRequest(CTRL_CLOSE_EVENT), FALSE) << "not held: Windows' own handling";
}

} // namespace
} // namespace orvane::cli
