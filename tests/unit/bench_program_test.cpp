// orvane-bench as a program: what it prints for the options that end it at once.

#include "version/ProgramVersion.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace orvane {
namespace {

struct BenchRun {
  int status = -1;
  std::string output; // stdout and stderr together
};

BenchRun Bench(const std::string &arguments) {
  BenchRun run;
  const std::string command = std::string(ORVANE_BIN_DIR) + "/orvane-bench " + arguments + " 2>&1";
  FILE *pipe = ::popen(command.c_str(), "r");
  if (!pipe)
    return run;
  char chunk[512];
  while (const size_t n = std::fread(chunk, 1, sizeof chunk, pipe))
    run.output.append(chunk, n);
  const int status = ::pclose(pipe);
  if (WIFEXITED(status))
    run.status = WEXITSTATUS(status);
  return run;
}

TEST(BenchProgramTest, VersionIsTheProjectVersion) {
  const BenchRun run = Bench("--version");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.output, std::string("orvane-bench ") + kProgramVersion + "\n");
}

TEST(BenchProgramTest, BadOptionsShowTheUsageAndRunNothing) {
  const std::string usage = "usage: orvane-bench [--speed full|high|both]";
  for (const auto &[arguments, reason] :
       {std::pair<std::string, std::string>{"--version=1", "option --version takes no value"},
        {"--speed fast", "--speed takes full, high or both"},
        {"--reader-runs 0", "unknown option or bad value: --reader-runs 0"},
        {"--part C22011 --frobnicate", "option --frobnicate needs a value"},
        {"--latency-us 0 --speed fast", "--latency-us takes a number of microseconds from 1 to 1000000"}}) {
    const BenchRun run = Bench(arguments);
    EXPECT_EQ(run.status, 2) << arguments;
    EXPECT_EQ(run.output.rfind("orvane-bench: " + reason + "\n" + usage, 0), 0u) << run.output;
  }
}

} // namespace
} // namespace orvane
