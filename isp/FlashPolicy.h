#pragma once

#include <cstdint>

namespace orvane {

// The numbers the flash work runs by, each in one place: the walks, the
// update, its time limits and the part table all take them from here.

// Flash is read in blocks of this many bytes: one fetch carries a block,
// and a block that reads wrong costs little to read again.
inline constexpr uint32_t kReadBlockBytes = 64;
// Reads of one block that may go wrong in a row before the block, and the
// walk, has failed: fewer are the wire's doing, not the flash's.
inline constexpr int kBlockTries = 3;

// Attempts of one update, each from the status clear and the erase on;
// protecting the flash and leaving ISP mode get as many tries.
inline constexpr int kUpdateAttempts = 3;
// How long the retry notice stays before the next attempt.
inline constexpr uint32_t kRetryPauseMs = 1000;

// How long a device that is still attached may stay silent, from its first
// unanswered transfer, before an update gives up on it.
inline constexpr uint32_t kSilenceLimitMs = 30'000;

// The erase wait: status reads this far apart, and no more of them than this.
inline constexpr int kEraseReads = 1000;
inline constexpr uint32_t kErasePollMs = 10;

// Capacity codes (the third identifier byte, the size as a power of two)
// from 64 KB to 16 MB: beyond, 24-bit addresses no longer reach.
inline constexpr uint8_t kSmallestCapacityCode = 0x10;
inline constexpr uint8_t kLargestCapacityCode = 0x18;

} // namespace orvane
