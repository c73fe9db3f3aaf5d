#pragma once

#include <cstdint>
#include <string>

namespace orvane::bench {

// Several simulated devices updated at once through orvane-update --all's
// code, each on its own thread. Device time passes in real time, sped up
// by timeScale, so the host's work and the devices' waits overlap as they
// would on a bench of real devices.
struct ConcurrentFigures {
  int devices = 0;
  uint32_t imageBytes = 0;
  uint64_t latencyUs = 0;
  double timeScale = 1;
  int succeeded = 0;       // verdict success with the image in the flash
  uint64_t modelledUs = 0; // device time of the slowest device
  uint64_t wallNs = 0;
  uint64_t cpuNs = 0; // the whole process: host, driver emulation and simulators
};

inline constexpr double kMaxConcurrentWallRatio = 1.3;

ConcurrentFigures RunConcurrentUpdateBench(int devices, uint32_t imageBytes, uint64_t latencyUs, double timeScale,
                                           const std::string &scratchDirectory);

} // namespace orvane::bench
