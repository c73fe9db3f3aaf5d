#pragma once

// What the tests that start the project's programs share: the environment
// with a private runtime directory, and argument vectors for posix_spawn.

#include <string>
#include <vector>

extern char **environ;

namespace orvane::test {

// This process's environment with XDG_RUNTIME_DIR set to runtimeDir.
inline std::vector<std::string> EnvironmentWithRuntimeDir(const std::string &runtimeDir) {
  std::vector<std::string> env;
  for (char **e = environ; *e; ++e)
    if (std::string(*e).rfind("XDG_RUNTIME_DIR=", 0) != 0 && std::string(*e).rfind("XDG_STATE_HOME=", 0) != 0)
      env.emplace_back(*e);
  env.push_back("XDG_RUNTIME_DIR=" + runtimeDir);
  // What the programs remember of updates stays with the test as well.
  env.push_back("XDG_STATE_HOME=" + runtimeDir + "/state");
  return env;
}

// Null-terminated pointers into strings, which must outlive them.
inline std::vector<char *> SpawnPointers(std::vector<std::string> &strings) {
  std::vector<char *> pointers;
  for (auto &s : strings)
    pointers.push_back(s.data());
  pointers.push_back(nullptr);
  return pointers;
}

} // namespace orvane::test
