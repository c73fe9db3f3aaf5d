#include "testing/DriverRequestReader.h"

#include "usb/DeviceBus.h"
#include "usb/LittleEndian.h"

#include <algorithm>

namespace orvane {

namespace {

constexpr uint8_t kVendorOtherIn = 0xC3;
constexpr uint8_t kVendorOtherOut = 0x43;

bool AllZero(std::span<const uint8_t> bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0; });
}

std::optional<DriverRequest> GenericDriverReads(const DriverCall &call) {
  if (call.code != kIoctlControlIn && call.code != kIoctlControlOut)
    return std::nullopt;
  const auto request = ParseGenericRequestBlock(call.block);
  if (!request)
    return std::nullopt;
  const bool deviceToHost = call.code == kIoctlControlIn;
  if (((request->requestType & 0x80) != 0) != deviceToHost)
    return std::nullopt;
  if (request->lengthField != 0 && request->lengthField != call.outLength)
    return std::nullopt;
  DriverRequest read;
  read.probe = request->lengthField != 0;
  read.setup = {request->requestType, request->request, request->value, request->index,
                static_cast<uint16_t>(call.outLength)};
  return read;
}

std::optional<DriverRequest> AudioDriverReads(const DriverCall &call) {
  if (call.code != kIoctlKsProperty)
    return std::nullopt;
  const auto request = ParseAudioPropertyBlock(call.block);
  if (!request)
    return std::nullopt;
  DriverRequest read;
  if (request->supportQuery) {
    if (call.outLength != 0)
      return std::nullopt;
    read.probe = true;
    return read;
  }
  if (request->data.size() != call.outLength)
    return std::nullopt;
  read.setup = {request->deviceToHost ? kVendorOtherIn : kVendorOtherOut, request->request, request->value,
                request->index, static_cast<uint16_t>(call.outLength)};
  read.blockData.assign(request->data.begin(), request->data.end());
  return read;
}

} // namespace

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

std::optional<DriverRequest> DriverReads(DriverKind driver, const DriverCall &call) {
  return driver == DriverKind::Audio ? AudioDriverReads(call) : GenericDriverReads(call);
}

} // namespace orvane
