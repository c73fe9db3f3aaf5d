#include "isp/FlashParts.h"

#include "isp/FlashPolicy.h"

namespace orvane {

const FlashPart &FlashPartFor(const std::array<uint8_t, 3> &flashId) {
  for (const FlashPart &part : kFlashPartTable)
    if (part.Matches(flashId))
      return part;
  return kUnknownFlashPart;
}

std::optional<uint32_t> CapacityOf(const FlashPart &part, const std::array<uint8_t, 3> &flashId) {
  switch (part.capacity) {
  case CapacityRule::Fixed:
    return part.capacityBytes;
  case CapacityRule::Unknown:
    return std::nullopt;
  case CapacityRule::CapacityCode:
    break;
  }
  if (flashId[2] < kSmallestCapacityCode || flashId[2] > kLargestCapacityCode)
    return std::nullopt;
  return uint32_t{1} << flashId[2];
}

bool IdentifierAnswered(const std::array<uint8_t, 3> &flashId) {
  return flashId[0] != 0x00 && flashId[0] != 0xFF;
}

} // namespace orvane
