#include "CriticalSignals.h"

#include <signal.h>
#include <unistd.h>

#include <array>

namespace orvane::cli {

namespace {

constexpr std::array<int, 4> kEndingSignals = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
constexpr char kNote[] = "\norvane-update: the flash is being written and cannot be left half done; "
                         "the update runs to its end.\n";

void Note(int) {
  // Only async-signal-safe calls here; a failed write changes nothing.
  const ssize_t ignored = ::write(STDERR_FILENO, kNote, sizeof kNote - 1);
  (void)ignored;
}

void Handle(void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int signal : kEndingSignals)
    ::sigaction(signal, &action, nullptr);
}

// The hold ran out: the ending signals end the program again. sigaction is
// async-signal-safe.
void HoldRanOut(int) {
  Handle(SIG_DFL);
}

} // namespace

void HoldOffInterruptions(bool hold, uint64_t forAtMostMs) {
  if (!hold) {
    ::alarm(0);
    Handle(SIG_DFL);
    return;
  }
  Handle(Note);
  struct sigaction ranOut {};
  ranOut.sa_handler = HoldRanOut;
  sigemptyset(&ranOut.sa_mask);
  ranOut.sa_flags = SA_RESTART;
  ::sigaction(SIGALRM, &ranOut, nullptr);
  const uint64_t seconds = (forAtMostMs + 999) / 1000;
  ::alarm(static_cast<unsigned>(seconds == 0 ? 1 : seconds > 0xFFFFFFFFu ? 0xFFFFFFFFu : seconds));
}

void IgnoreBrokenPipes() {
  struct sigaction action {};
  action.sa_handler = SIG_IGN;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGPIPE, &action, nullptr);
}

} // namespace orvane::cli
