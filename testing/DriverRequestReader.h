#pragma once

#include "usb/DriverRequestBlock.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace orvane {

// The two Windows kernel drivers' reading of the calls the Windows back-end
// makes, for tests and fuzzers to hold the request blocks against: each
// driver takes exactly its own layouts and refuses everything else, as a
// driver refuses a call.

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

// What a driver makes of a call: the probe, or the control transfer it
// sends with the data the block carries (the audio driver's copy; the
// generic driver sends from the output buffer).
struct DriverRequest {
  bool probe = false;
  SetupPacket setup;
  std::vector<uint8_t> blockData;
};
// nullopt when the driver refuses the call: another driver's code, a
// malformed block, a direction the code does not carry, a length the
// output buffer does not match.
std::optional<DriverRequest> DriverReads(DriverKind driver, const DriverCall &call);

} // namespace orvane
