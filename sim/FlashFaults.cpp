#include "sim/FlashFaults.h"

#include <algorithm>

namespace orvane::sim {

void FlashFaults::FlipOnRead(uint32_t address, uint8_t mask, bool stuck) {
  flips_.push_back({address, mask, stuck});
}

void FlashFaults::Clear() {
  flips_.clear();
  hangNext_ = false;
}

uint8_t FlashFaults::ReadThrough(uint32_t address, uint8_t stored) {
  if (flips_.empty())
    return stored;
  uint8_t value = stored;
  for (const auto &flip : flips_)
    if (flip.address == address)
      value ^= flip.mask;
  std::erase_if(flips_, [address](const Flip &flip) { return flip.address == address && !flip.stuck; });
  return value;
}

bool FlashFaults::TakeHang() {
  const bool hang = hangNext_;
  hangNext_ = false;
  return hang;
}

} // namespace orvane::sim
