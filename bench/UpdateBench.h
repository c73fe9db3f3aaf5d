#pragma once

#include "sim/FlashPartProfile.h"
#include "sim/IdealUpdateTime.h"

#include <array>
#include <cstdint>
#include <string>

namespace orvane::bench {

// One one-button update against the simulator, measured.
struct UpdateFigures {
  std::string part;
  uint32_t imageBytes = 0;
  uint64_t latencyUs = 0;
  bool verdict = false;
  bool flashHoldsImage = false;
  std::array<uint64_t, 256> transfers{}; // that reached the device, by request code
  uint64_t modelledUs = 0;               // device time from start to verdict
  sim::UpdateTimeBudget minimum;         // the protocol's transfers and polls, nothing else
  sim::UpdateTimeBudget floor;           // the same, each wait ending the moment the flash is done
  uint64_t hostNs = 0;                   // our code, above the driver interface
  uint64_t driverNs = 0;                 // emulated drivers and transport
  uint64_t deviceModelNs = 0;            // the simulator
  uint64_t threadCpuNs = 0;              // all of it, as the thread's CPU clock saw it
  uint64_t loopTurns = 0;
  uint64_t longestLoopGapHostNs = 0;
  uint64_t longestLoopGapDeviceUs = 0;
  uint64_t longestLoopGapCombinedUs = 0;

  uint64_t TransferCount() const;
  double RatioToMinimum() const;
  double RatioToFloor() const;
};

// The update of a sample firmware image of imageBytes on the part, every
// control transfer taking latencyUs of device time.
UpdateFigures RunUpdateBench(const sim::FlashPartProfile &part, uint32_t imageBytes, uint64_t latencyUs);

} // namespace orvane::bench
