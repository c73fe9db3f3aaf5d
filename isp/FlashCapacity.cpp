#include "isp/FlashCapacity.h"

#include "isp/FlashParts.h"
#include "isp/HexText.h"

namespace orvane {

std::optional<uint32_t> FlashCapacityBytes(const std::array<uint8_t, 3> &id) {
  return CapacityOf(FlashPartFor(id), id);
}

namespace {
std::string OfThisDevice(uint32_t capacity, const std::array<uint8_t, 3> &id) {
  return "the flash of this device (" + std::to_string(capacity) + " bytes, identifier " + Hex2(id[0]) + " " +
         Hex2(id[1]) + " " + Hex2(id[2]) + "); nothing was erased";
}
} // namespace

std::string ImageCapacityRefusal(uint32_t imageLength, const std::array<uint8_t, 3> &id) {
  const std::optional<uint32_t> capacity = FlashCapacityBytes(id);
  if (!capacity || imageLength <= *capacity)
    return {};
  return "The image (" + std::to_string(imageLength) + " bytes) is larger than " + OfThisDevice(*capacity, id);
}

std::string SpanCapacityRefusal(uint32_t spanEnd, const std::array<uint8_t, 3> &id) {
  const std::optional<uint32_t> capacity = FlashCapacityBytes(id);
  if (!capacity || spanEnd <= *capacity)
    return {};
  return "The range up to " + std::to_string(spanEnd) + " bytes lies beyond " + OfThisDevice(*capacity, id);
}

} // namespace orvane
