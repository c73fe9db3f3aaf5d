#include "isp/FlashReadBack.h"

#include "isp/BlockWalk.h"
#include "isp/FlashPolicy.h"

#include <algorithm>
#include <array>

namespace orvane {

bool FlashReadBack::ReadBackRange(ChipCommands &chip, FlashEvents &events, uint32_t start, uint32_t end) {
  end = std::min<uint32_t>(end, static_cast<uint32_t>(buffer_.size()));
  if (start >= end)
    return true;
  std::fill(buffer_.begin() + start, buffer_.begin() + end, kUnreadFill);
  // Without a gate: a device that went away costs every block its tries,
  // and the walk ends at the first block with the reason.
  BlockWalk walk(FlashPhase::ReadBack, events);
  return walk.Run(start, end, [&](uint32_t a) {
    const uint32_t count = std::min(kReadBlockBytes, end - a);
    std::array<uint8_t, kReadBlockBytes> block{};
    if (!chip.FlashRead(a, kReadBlockBytes, block.data()))
      return BlockLook{BlockLook::Outcome::Bad, false, a};
    std::copy_n(block.begin(), count, buffer_.begin() + a);
    // Only two reads that both went through and agree make a block
    // consistent: a failed second read compares nothing.
    block.fill(0);
    if (!chip.FlashRead(a, kReadBlockBytes, block.data()))
      return BlockLook{BlockLook::Outcome::Bad, true, a};
    const auto diff = std::mismatch(block.begin(), block.begin() + count, buffer_.begin() + a);
    if (diff.first == block.begin() + count)
      return BlockLook{BlockLook::Outcome::Good, true, a};
    return BlockLook{BlockLook::Outcome::Bad, true, a + static_cast<uint32_t>(diff.first - block.begin())};
  });
}

} // namespace orvane
