#include "usb/DriverRequestBlock.h"

#include "usb/DeviceBus.h"
#include "usb/LittleEndian.h"

#include <algorithm>
#include <cstring>

namespace orvane {

namespace {

constexpr size_t kAudioDataOffset = 40;
constexpr uint8_t kAudioRequestMarker = 0x20;

bool AllZero(std::span<const uint8_t> bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0; });
}

void PutKsProperty(uint8_t *block, uint32_t id, uint32_t flags) {
  const auto set = kGuidVendorPropertySet.bytes();
  std::memcpy(block, set.data(), set.size());
  PutLe32(block + 16, id);
  PutLe32(block + 20, flags);
}

} // namespace

std::array<uint8_t, kGenericRequestBlockSize>
BuildGenericRequestBlock(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index, uint16_t lengthField) {
  std::array<uint8_t, kGenericRequestBlockSize> block{};
  block[4] = requestType;
  block[5] = request;
  PutLe16(&block[6], value);
  PutLe16(&block[8], index);
  PutLe16(&block[10], lengthField);
  return block;
}

size_t AudioRequestBlockSize(uint32_t length) {
  return length == 0 ? 48 : 47 + size_t{length};
}

std::vector<uint8_t> BuildAudioRequestBlock(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index,
                                            const uint8_t *data, uint32_t length) {
  std::vector<uint8_t> block(AudioRequestBlockSize(length), 0);
  PutKsProperty(block.data(), kVendorRequestPropertyId, (requestType & 0x80) ? kKsPropertyTypeGet : kKsPropertyTypeSet);
  block[24] = kAudioRequestMarker;
  block[25] = request;
  PutLe16(&block[26], value);
  PutLe16(&block[28], index);
  PutLe32(&block[36], length);
  if (length)
    std::memcpy(&block[kAudioDataOffset], data, length);
  return block;
}

std::array<uint8_t, kKsPropertySize> BuildAudioSupportQueryBlock() {
  std::array<uint8_t, kKsPropertySize> block{};
  PutKsProperty(block.data(), kSupportQueryPropertyId, kKsPropertyTypeSetSupport);
  return block;
}

std::optional<GenericRequest> ParseGenericRequestBlock(std::span<const uint8_t> block) {
  if (block.size() != kGenericRequestBlockSize || !AllZero(block.first(4)) || !AllZero(block.subspan(12)))
    return std::nullopt;
  return GenericRequest{block[4], block[5], GetLe16(&block[6]), GetLe16(&block[8]), GetLe16(&block[10])};
}

std::optional<AudioPropertyRequest> ParseAudioPropertyBlock(std::span<const uint8_t> block) {
  if (block.size() < kKsPropertySize)
    return std::nullopt;
  const auto set = kGuidVendorPropertySet.bytes();
  if (!std::equal(set.begin(), set.end(), block.begin()))
    return std::nullopt;
  const uint32_t id = GetLe32(&block[16]);
  const uint32_t flags = GetLe32(&block[20]);

  AudioPropertyRequest parsed;
  if (id == kSupportQueryPropertyId) {
    if (flags != kKsPropertyTypeSetSupport || block.size() != kKsPropertySize)
      return std::nullopt;
    parsed.supportQuery = true;
    return parsed;
  }
  if (id != kVendorRequestPropertyId || (flags != kKsPropertyTypeGet && flags != kKsPropertyTypeSet) ||
      block.size() < kAudioDataOffset)
    return std::nullopt;
  const uint32_t length = GetLe32(&block[36]);
  if (block.size() != AudioRequestBlockSize(length) || block[24] != kAudioRequestMarker ||
      !AllZero(block.subspan(30, 6)) || !AllZero(block.subspan(kAudioDataOffset + length)))
    return std::nullopt;
  parsed.deviceToHost = flags == kKsPropertyTypeGet;
  parsed.request = block[25];
  parsed.value = GetLe16(&block[26]);
  parsed.index = GetLe16(&block[28]);
  parsed.data = block.subspan(kAudioDataOffset, length);
  return parsed;
}

} // namespace orvane
