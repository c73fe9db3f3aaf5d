#pragma once

#include "panels/ParameterMailbox.h"
#include "panels/ParameterRecord.h"
#include "usb/Clock.h"

#include <cstdint>
#include <string>
#include <vector>

namespace orvane {

// Mailbox command and sub-commands of the device's own configuration.
namespace parameter {
inline constexpr uint8_t kCommand = 0x10;
inline constexpr uint8_t kVendorId = 0x08;
inline constexpr uint8_t kProductId = 0x0A;
inline constexpr uint8_t kManufacturer = 0x10;
inline constexpr uint8_t kModelName = 0x14;
inline constexpr uint8_t kSerialNumber = 0x18;
inline constexpr uint8_t kSetOptions = 0x20;
inline constexpr uint8_t kReadOptions = 0x21;
} // namespace parameter

// What the window holds before anything was read from the device.
inline constexpr ParameterRecord kStartParameterRecord{0xA1, 0x00, 0x00, 0x00};

inline constexpr size_t kIdentifierCharacters = 4;
// The device keeps a 32-byte message: the length byte and 31 characters.
inline constexpr size_t kMaxDescriptorCharacters = 31;
inline constexpr size_t kDescriptorChunkBytes = 8;
inline constexpr uint32_t kDescriptorChunkPauseMs = 50;

inline constexpr const char *kDescriptorCappedNote = "Cut to 31 characters";

enum class DeviceIdentifier { Vendor, Product };
enum class DescriptorString { Manufacturer, ModelName, SerialNumber };

struct ParameterSend {
  bool sent = false;
  bool capped = false; // the string was cut to its first 31 characters
  std::string refusal; // why nothing was sent; empty when sent
};

// "Read back": the device's record replaces the window's copy. A register
// the device does not answer keeps the byte the copy held.
void ReadBackParameterRecord(ParameterMailbox &mailbox, ParameterRecord &record);
// "Set": the record goes to the device as it stands, byte 0 first.
void SetParameterRecord(ParameterMailbox &mailbox, const ParameterRecord &record);

// The identifier's text as four single-byte characters (not a number): a
// text of any other length, or with a character outside the code page, is
// refused.
ParameterSend SendDeviceIdentifier(ParameterMailbox &mailbox, DeviceIdentifier which, const std::string &text);

// Length byte and characters, at most 31 of them. text must already be single-byte.
std::vector<uint8_t> DescriptorStringMessage(const std::string &singleByteText);

// The message in chunks of up to eight bytes, numbered from 0, each
// followed by a 50 ms pause.
ParameterSend SendDescriptorString(ParameterMailbox &mailbox, Clock &clock, DescriptorString which,
                                   const std::string &text);

} // namespace orvane
