#include "isp/FlashReadBack.h"

#include "isp/HexText.h"

#include <algorithm>
#include <array>

namespace orvane {

namespace {
constexpr uint32_t kBlock = 64;
constexpr int kAttempts = 3;
} // namespace

bool FlashReadBack::ReadBackRange(ChipCommands &chip, IspView &view, uint32_t start, uint32_t end) {
  end = std::min<uint32_t>(end, static_cast<uint32_t>(buffer_.size()));
  if (start >= end)
    return true;
  std::fill(buffer_.begin() + start, buffer_.begin() + end, kUnreadFill);
  const uint32_t totalBlocks = (end - start + kBlock - 1) / kBlock;
  int failures = 0;
  uint32_t a = start;
  while (a < end) {
    const uint32_t count = std::min(kBlock, end - a);
    std::array<uint8_t, kBlock> block{};
    uint32_t failedAt = a;
    if (!chip.FlashRead(a, kBlock, block.data())) {
      ++failures;
    } else {
      std::copy_n(block.begin(), count, buffer_.begin() + a);
      // Only two reads that both went through and agree make a block
      // consistent: a failed second read compares nothing.
      block.fill(0);
      const bool secondRead = chip.FlashRead(a, kBlock, block.data());
      const auto diff = std::mismatch(block.begin(), block.begin() + count, buffer_.begin() + a);
      if (!secondRead) {
        ++failures;
      } else if (diff.first == block.begin() + count) {
        failures = 0;
      } else {
        ++failures;
        failedAt = a + static_cast<uint32_t>(diff.first - block.begin());
      }
      view.ShowProcessAddress("Verifying Addr: 0x" + Hex6(a));
      view.ProcessMessages();
    }
    if (failures >= kAttempts) {
      view.ShowProcessInfo("Verifying Fail at 0x" + Hex6(failedAt));
      return false;
    }
    if (failures == 0) {
      a += kBlock;
      view.Progress(FlashPhase::ReadBack, (a - start + kBlock - 1) / kBlock, totalBlocks);
    }
  }
  return true;
}

} // namespace orvane
