#pragma once

#include "sim/ChipSimulator.h"

#include <cstdint>
#include <span>

namespace orvane {

// What a good update leaves behind: the image from address 0 and erased
// bytes after it.
bool HoldsOnlyImage(std::span<const uint8_t> flash, std::span<const uint8_t> image);
bool HoldsOnlyImage(sim::ChipSimulator &chip, std::span<const uint8_t> image);

// Transfers of the ISP requests (0x80 to 0x85) that reached the chip: any
// flash work at all.
uint64_t IspTransferCount(const sim::ChipSimulator &chip);

} // namespace orvane
