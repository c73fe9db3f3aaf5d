#pragma once

#include "sim/FlashPartProfile.h"

#include <array>
#include <cstdint>
#include <vector>

namespace orvane::sim {

// How an ideal host ends a wait for the flash.
enum class FlashWaitEnd {
  // With the update's own polls: a status read that finds the flash busy
  // is followed by the poll's fixed sleep and another read, as the update
  // must do; the least time a host that keeps to the protocol can take.
  Polled,
  // One status read at the very microsecond the flash is done: what the
  // flash alone would allow, below any host that polls.
  Exact,
};

// Where the time of an ideal update goes. Microseconds of device time.
struct UpdateTimeBudget {
  uint64_t totalUs = 0;
  uint64_t transferUs = 0;               // latencies of the transfers
  uint64_t sleepUs = 0;                  // the protocol's sleeps
  uint64_t flashWaitUs = 0;              // flash busy time no transfer or sleep covers (FlashWaitEnd::Exact)
  std::array<uint64_t, 256> transfers{}; // by request code

  uint64_t TransferCount() const;
};

// How the host writes the part, as the host's own table of parts has it:
// the simulator models the parts, the host chooses how to write them.
struct HostWriting {
  uint32_t chunkBytes;
  bool wordProgram;
};

// The one-button update of image[0, length) on a simulated part that
// holds no protection and is idle at the start: enter ISP mode, read the
// identifier, one attempt of status clear, chip erase, blank check,
// program and verify, then protect and leave. Exactly the transfers and
// sleeps the protocol requires, each control transfer taking
// transferLatencyUs, against the part's own busy times as the simulator
// runs them at the given speed. Image bytes past the end of the vector
// count as erased.
UpdateTimeBudget IdealUpdateTime(const FlashPartProfile &part, HostWriting writing, const std::vector<uint8_t> &image,
                                 uint32_t length, uint64_t transferLatencyUs, FlashWaitEnd waits, double speed = 1.0);

} // namespace orvane::sim
