#include "isp/FlashCapacity.h"

#include "isp/HexText.h"

namespace orvane {

namespace {
constexpr uint8_t kSst = 0xBF;
constexpr uint8_t kSmallestCapacityCode = 0x10; // 64 KB
constexpr uint8_t kLargestCapacityCode = 0x18;  // 16 MB, all 24-bit addresses reach
} // namespace

std::optional<uint32_t> FlashCapacityBytes(const std::array<uint8_t, 3> &id) {
  if (id[0] == 0x00 || id[0] == 0xFF)
    return std::nullopt;
  if (id[0] == kSst) {
    // SST numbers its parts instead of coding their size.
    if (id[1] == 0x25 && id[2] == 0x8C)
      return 256 * 1024;
    return std::nullopt;
  }
  if (id[2] < kSmallestCapacityCode || id[2] > kLargestCapacityCode)
    return std::nullopt;
  return uint32_t{1} << id[2];
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
