#pragma once

#include "sim/DeviceTime.h"
#include "sim/SerialFlash.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace orvane::sim {

// The chip's serial-flash channel: it shifts instruction bytes out to the
// flash, collects reply bytes into its reply buffer and says when the last
// instruction has been shifted through. A reply fetched before that holds
// whatever the buffer held before.
class FlashChannel {
public:
  static constexpr size_t kReplyBufferBytes = 256;

  FlashChannel(SerialFlash &flash, DeviceTime &time) : flash_(flash), time_(time) {}

  // Instruction bytes; last releases chip select, otherwise the next write continues the instruction.
  void Write(const uint8_t *bytes, size_t count, bool last);
  // Instruction bytes, then replyLength bytes collected; chip select released after.
  // false (nothing done) when the reply does not fit the reply buffer.
  bool Query(const uint8_t *bytes, size_t count, uint16_t replyLength);
  // Copies up to capacity bytes of the reply buffer; returns how many.
  size_t Fetch(uint8_t *out, size_t capacity);
  bool Ready() const { return time_.NowUs() >= freeAtUs_; }
  // Chip select released, nothing in flight.
  void Reset();

private:
  uint64_t Shift(size_t byteCount);
  void Reveal(bool all);

  SerialFlash &flash_;
  DeviceTime &time_;
  std::array<uint8_t, kReplyBufferBytes> buffer_{};
  std::vector<uint8_t> pending_;
  uint64_t pendingFirstByteUs_ = 0;
  uint64_t freeAtUs_ = 0;
};

} // namespace orvane::sim
