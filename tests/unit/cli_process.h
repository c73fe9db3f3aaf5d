#pragma once

// Runs orvane-update as a child process with its own runtime directory (so
// it sees only the simulated devices put there) and working directory,
// stdin from /dev/null, and collects what it writes.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "child_process.h"

#include <chrono>
#include <string>
#include <vector>

namespace orvane::cli_test {

struct ProcessResult {
  int status = -1; // exit status; -1 when it did not exit by itself in time
  std::string out;
  std::string err;
};

inline ProcessResult RunOrvaneUpdate(const std::vector<std::string> &args, const std::string &runtimeDir,
                                     const std::string &workDir, int timeoutMs = 20'000) {
  ProcessResult result;
  int out[2];
  int err[2];
  if (::pipe2(out, O_CLOEXEC) != 0)
    return result;
  if (::pipe2(err, O_CLOEXEC) != 0) {
    ::close(out[0]);
    ::close(out[1]);
    return result;
  }
  std::vector<std::string> env = test::EnvironmentWithRuntimeDir(runtimeDir);
  std::vector<std::string> argv{std::string(ORVANE_BIN_DIR) + "/orvane-update"};
  argv.insert(argv.end(), args.begin(), args.end());
  const auto argvPtrs = test::SpawnPointers(argv);
  const auto envPtrs = test::SpawnPointers(env);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
  posix_spawn_file_actions_addchdir_np(&actions, workDir.c_str());
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, argvPtrs.data(), envPtrs.data()) != 0)
    pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  ::close(err[1]);

  // Collect both streams until both end or the time is up.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string *sinks[2] = {&result.out, &result.err};
  int open = pid > 0 ? 2 : 0;
  while (open > 0) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || ::poll(fds, 2, static_cast<int>(left.count())) <= 0)
      break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP)))
        continue;
      char chunk[4096];
      const ssize_t n = ::read(fds[i].fd, chunk, sizeof chunk);
      if (n > 0) {
        sinks[i]->append(chunk, static_cast<size_t>(n));
      } else {
        fds[i].fd = -1;
        --open;
      }
    }
  }
  ::close(out[0]);
  ::close(err[0]);
  if (pid > 0) {
    if (open > 0)
      ::kill(pid, SIGKILL);
    int status = 0;
    if (::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && open == 0)
      result.status = WEXITSTATUS(status);
  }
  return result;
}

} // namespace orvane::cli_test
