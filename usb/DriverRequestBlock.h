#pragma once

#include "usb/SetupPacket.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace orvane {

// How the two Windows kernel drivers take a control transfer: one device
// I/O control call, with a request block as its input buffer, built here
// byte for byte. Only the Windows back-end speaks to them.

inline constexpr uint32_t kIoctlControlIn = 0x0022242E;  // generic driver, device-to-host
inline constexpr uint32_t kIoctlControlOut = 0x00222429; // generic driver, host-to-device
inline constexpr uint32_t kIoctlKsProperty = 0x002F0003; // audio driver, both directions

inline constexpr size_t kGenericRequestBlockSize = 24;
inline constexpr size_t kKsPropertySize = 24;
inline constexpr uint32_t kVendorRequestPropertyId = 7;
inline constexpr uint32_t kSupportQueryPropertyId = 0;
inline constexpr uint32_t kKsPropertyTypeGet = 0x001;
inline constexpr uint32_t kKsPropertyTypeSet = 0x002;
inline constexpr uint32_t kKsPropertyTypeSetSupport = 0x100;
inline constexpr size_t kAudioDataOffset = 40;
inline constexpr uint8_t kAudioRequestMarker = 0x20;

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

// Which of the two drivers carries a handle's calls.
enum class DriverKind : uint8_t { Generic, Audio };

// One call to a driver: its control code, its input buffer, and the length
// of its output buffer (the transfer's data, both ways).
struct DriverCall {
  uint32_t code = 0;
  std::vector<uint8_t> block;
  uint32_t outLength = 0;
};

// A control transfer as the driver takes it; data: setup.length bytes.
DriverCall TransferCall(DriverKind driver, const SetupPacket &setup, const uint8_t *data);
// The driver's probe: the device descriptor through the generic driver,
// the support query of the vendor property set through the audio driver.
DriverCall ProbeCall(DriverKind driver);

} // namespace orvane
