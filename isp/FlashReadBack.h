#pragma once

#include "isp/FlashEvents.h"
#include "isp/ReadBackFile.h"
#include "usb/ChipCommands.h"

#include <cstdint>
#include <string>
#include <vector>

namespace orvane {

inline constexpr uint32_t kReadBackEnd = 0x8000; // the first 32 KB

// Reads flash back, every block twice, into a buffer that keeps the last
// read-back; blocks never read consistently stay 0x5A.
class FlashReadBack {
public:
  static constexpr uint8_t kUnreadFill = 0x5A;

  explicit FlashReadBack(std::vector<uint8_t> &buffer) : buffer_(buffer) {}

  // The device handle must be open. True when every block read
  // consistently: two reads of it went through and agree.
  [[nodiscard]] bool ReadBackRange(ChipCommands &chip, FlashEvents &events, uint32_t start, uint32_t end);

private:
  std::vector<uint8_t> &buffer_;
};

} // namespace orvane
