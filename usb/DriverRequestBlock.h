#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace orvane {

// The request blocks the two kernel drivers take as the input buffer of a
// device I/O control call, built byte for byte, and read back by the
// emulated drivers that stand in for them.

inline constexpr size_t kGenericRequestBlockSize = 24;
inline constexpr size_t kKsPropertySize = 24;
inline constexpr uint32_t kVendorRequestPropertyId = 7;
inline constexpr uint32_t kSupportQueryPropertyId = 0;
inline constexpr uint32_t kKsPropertyTypeGet = 0x001;
inline constexpr uint32_t kKsPropertyTypeSet = 0x002;
inline constexpr uint32_t kKsPropertyTypeSetSupport = 0x100;

// Generic USB driver: the data length travels as the output buffer's
// length; lengthField is 0 for every transfer and 18 in the probe.
std::array<uint8_t, kGenericRequestBlockSize>
BuildGenericRequestBlock(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index, uint16_t lengthField);

// Audio driver: 47 + length bytes (48 when length is 0), a copy of data
// inside. Only bit 7 of requestType is carried.
std::vector<uint8_t> BuildAudioRequestBlock(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index,
                                            const uint8_t *data, uint32_t length);
size_t AudioRequestBlockSize(uint32_t length);

// The audio driver's probe: does the vendor property set exist at all.
std::array<uint8_t, kKsPropertySize> BuildAudioSupportQueryBlock();

struct GenericRequest {
  uint8_t requestType = 0;
  uint8_t request = 0;
  uint16_t value = 0;
  uint16_t index = 0;
  uint16_t lengthField = 0;
};
// nullopt unless the block is exactly 24 bytes with its reserved bytes zero.
std::optional<GenericRequest> ParseGenericRequestBlock(std::span<const uint8_t> block);

struct AudioPropertyRequest {
  bool supportQuery = false; // property id 0 with SETSUPPORT; nothing else below is set
  bool deviceToHost = false; // GET
  uint8_t request = 0;
  uint16_t value = 0;
  uint16_t index = 0;
  std::span<const uint8_t> data; // the copy inside the block
};
// nullopt unless the block is one of the two layouts exactly: the vendor
// property set, id 0 with SETSUPPORT in 24 bytes, or id 7 with GET or SET,
// 0x20 at byte 24, and length, data and zero fill matching.
std::optional<AudioPropertyRequest> ParseAudioPropertyBlock(std::span<const uint8_t> block);

} // namespace orvane
