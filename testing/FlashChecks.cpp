#include "testing/FlashChecks.h"

#include <algorithm>

namespace orvane {

bool HoldsOnlyImage(std::span<const uint8_t> flash, std::span<const uint8_t> image) {
  return flash.size() >= image.size() && std::equal(image.begin(), image.end(), flash.begin()) &&
         std::all_of(flash.begin() + static_cast<ptrdiff_t>(image.size()), flash.end(),
                     [](uint8_t b) { return b == 0xFF; });
}

bool HoldsOnlyImage(sim::ChipSimulator &chip, std::span<const uint8_t> image) {
  return HoldsOnlyImage(chip.Flash().Contents(), image);
}

uint64_t IspTransferCount(const sim::ChipSimulator &chip) {
  uint64_t count = 0;
  for (uint8_t request = 0x80; request <= 0x85; ++request)
    count += chip.TransferCount(request);
  return count;
}

} // namespace orvane
