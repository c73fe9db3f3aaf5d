#pragma once

#include "cli/InterruptionHold.h"

#include <windows.h>

#include <atomic>
#include <cstdint>

namespace orvane::cli {

// The console side of holding off interruptions on Windows: one handler
// routine, installed at most once, and one timer-queue timer for the
// deadline.
class ConsoleSwitch final : public InterruptionSwitch {
public:
  void Catch(bool on) override;
  void StartTimer(uint64_t ms, uint64_t ticket) override;
  void StopTimer() override;

  // How often the handler was installed and removed: a second install
  // would need a second removal.
  uint64_t Installs() const { return installs_; }
  uint64_t Removals() const { return removals_; }
  // Signalled while no hold is in force.
  HANDLE Released() const { return released_; }

private:
  HANDLE timer_ = nullptr;
  // Counted on the caller's and on the timer's thread.
  std::atomic<uint64_t> installs_{0};
  std::atomic<uint64_t> removals_{0};
  HANDLE released_ = ::CreateEventW(nullptr, TRUE, TRUE, nullptr);
};

// The process's one hold and its switch. The console calls its handler
// with no context of its own, so both live as long as the process.
InterruptionHold &ConsoleHold();
ConsoleSwitch &ConsoleHoldSwitch();

// What the console calls: Ctrl+C and Ctrl+Break are swallowed with a note
// while held; a closed console, a logoff or a shutdown wait as long as
// Windows lets them. Not held, it leaves every event to the next handler.
BOOL WINAPI ConsoleRequest(DWORD event);

// How long a closed console is kept waiting: Windows ends the process
// about 5 seconds after the close event whatever the handler does.
inline constexpr DWORD kCloseGraceMs = 4500;

} // namespace orvane::cli
