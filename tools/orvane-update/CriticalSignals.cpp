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

} // namespace

void HoldOffInterruptions(bool hold) {
  struct sigaction action {};
  action.sa_handler = hold ? Note : SIG_DFL;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int signal : kEndingSignals)
    ::sigaction(signal, &action, nullptr);
}

void IgnoreBrokenPipes() {
  struct sigaction action {};
  action.sa_handler = SIG_IGN;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGPIPE, &action, nullptr);
}

} // namespace orvane::cli
