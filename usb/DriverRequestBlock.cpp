#include "usb/DriverRequestBlock.h"

#include "usb/DeviceBus.h"
#include "usb/LittleEndian.h"

#include <cstring>

namespace orvane {

namespace {

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

DriverCall TransferCall(DriverKind driver, const SetupPacket &setup, const uint8_t *data) {
  if (driver == DriverKind::Audio) {
    std::vector<uint8_t> block =
        BuildAudioRequestBlock(setup.requestType, setup.request, setup.value, setup.index, data, setup.length);
    return {kIoctlKsProperty, std::move(block), setup.length};
  }
  const auto block = BuildGenericRequestBlock(setup.requestType, setup.request, setup.value, setup.index, 0);
  return {setup.isIn() ? kIoctlControlIn : kIoctlControlOut, {block.begin(), block.end()}, setup.length};
}

DriverCall ProbeCall(DriverKind driver) {
  if (driver == DriverKind::Audio) {
    const auto block = BuildAudioSupportQueryBlock();
    return {kIoctlKsProperty, {block.begin(), block.end()}, 0};
  }
  const SetupPacket &probe = kDescriptorProbe;
  const auto block = BuildGenericRequestBlock(probe.requestType, probe.request, probe.value, probe.index, probe.length);
  return {kIoctlControlIn, {block.begin(), block.end()}, probe.length};
}

} // namespace orvane
