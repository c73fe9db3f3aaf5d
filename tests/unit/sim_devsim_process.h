#pragma once

// Runs vantrel-devsim as a child process in a private runtime directory and
// waits for it to report that its socket is up.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "child_process.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace orvane::sim::test {

class TempDirectory {
public:
  TempDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "devsim-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()))
      path_ = pattern;
  }
  ~TempDirectory() {
    std::error_code ignored;
    if (!path_.empty())
      std::filesystem::remove_all(path_, ignored);
  }
  const std::string &Path() const { return path_; }

private:
  std::string path_;
};

class DevsimProcess {
public:
  // runtimeDir becomes XDG_RUNTIME_DIR of the child; its devices live in runtimeDir/vantrel-vusb.
  DevsimProcess(const std::string &runtimeDir, const std::vector<std::string> &args) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
      return;
    std::vector<std::string> env = orvane::test::EnvironmentWithRuntimeDir(runtimeDir);
    std::vector<std::string> argv{std::string(ORVANE_BIN_DIR) + "/vantrel-devsim"};
    argv.insert(argv.end(), args.begin(), args.end());

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    const auto argvPtrs = orvane::test::SpawnPointers(argv);
    const auto envPtrs = orvane::test::SpawnPointers(env);
    if (posix_spawn(&pid_, argv[0].c_str(), &actions, nullptr, argvPtrs.data(), envPtrs.data()) != 0)
      pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    stdout_ = out[0];
  }

  ~DevsimProcess() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      Wait();
    }
    if (stdout_ >= 0)
      ::close(stdout_);
  }

  // The first lines the program prints once its sockets are published, one a
  // device; empty when it ended or took too long.
  std::string WaitReady(int timeoutMs = 10'000, size_t devices = 1) {
    std::string line;
    while (static_cast<size_t>(std::count(line.begin(), line.end(), '\n')) < devices) {
      pollfd p{stdout_, POLLIN, 0};
      if (::poll(&p, 1, timeoutMs) <= 0)
        return {};
      char chunk[256];
      const ssize_t n = ::read(stdout_, chunk, sizeof chunk);
      if (n <= 0)
        return {};
      line.append(chunk, static_cast<size_t>(n));
    }
    return line;
  }

  void Signal(int signal) {
    if (pid_ > 0)
      ::kill(pid_, signal);
  }

  // Exit status, or -1 when it did not exit normally.
  int Wait() {
    if (pid_ <= 0)
      return -1;
    int status = 0;
    const pid_t waited = ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return waited > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  bool Started() const { return pid_ > 0; }

private:
  pid_t pid_ = -1;
  int stdout_ = -1;
};

} // namespace orvane::sim::test
