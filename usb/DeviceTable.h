#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace orvane {

// A USB identity as the device descriptor states it.
struct UsbId {
  uint16_t vendorId;
  uint16_t productId;
};

// One supported model as it names itself on the bus, with the names the
// program shows and looks its update file up by.
struct ModelRow {
  UsbId usb;
  const char *displayName;
  const char *filePrefix;
};

inline constexpr uint16_t kOrvaneVendorId = 0x3B5D;
// The bridge chip's maker, whose identity the chip may keep in update mode.
inline constexpr uint16_t kBridgeVendorId = 0x0C7E;
inline constexpr uint16_t kUpdateProductId = 0x6000;

// The models, in the order the search goes through them; the first is
// the one whose update file a chip in update mode under 3b5d gets.
inline constexpr std::array<ModelRow, 7> kModels = {{
    {{kOrvaneVendorId, 0xF0B5}, "Orvane-Summit", "Orvane_Summit"},
    {{kOrvaneVendorId, 0xF0B6}, "Orvane-R61", "Orvane_R61"},
    {{kOrvaneVendorId, 0xF0B7}, "Orvane-RB09-Max", "Orvane_RB09_Max"},
    {{kOrvaneVendorId, 0xF0B8}, "Orvane-R62", "Orvane_R62"},
    {{kOrvaneVendorId, 0xF0B9}, "Orvane-RB-Windmill", "Orvane_RB_Windmill"},
    {{kOrvaneVendorId, 0xF120}, "Orvane MR810", "Orvane MR810"},
    {{kOrvaneVendorId, 0xF121}, "Orvane RB-Lantern", "Orvane RB-Lantern"},
}};

// The chip in firmware-update mode, under either vendor, in the order the
// search alternates between them.
inline constexpr std::array<UsbId, 2> kUpdateModeIds = {{
    {kOrvaneVendorId, kUpdateProductId},
    {kBridgeVendorId, kUpdateProductId},
}};

// "vid_3b5d&pid_f0b5": how a Windows interface path names the identity,
// zero-terminated.
using MatchText = std::array<char, 18>;

constexpr MatchText MatchTextOf(UsbId id) {
  MatchText text{'v', 'i', 'd', '_', 0, 0, 0, 0, '&', 'p', 'i', 'd', '_', 0, 0, 0, 0, '\0'};
  constexpr const char *kDigits = "0123456789abcdef";
  for (int i = 0; i < 4; ++i) {
    text[4 + i] = kDigits[(id.vendorId >> (12 - 4 * i)) & 0xF];
    text[13 + i] = kDigits[(id.productId >> (12 - 4 * i)) & 0xF];
  }
  return text;
}

// One supported model: three fixed 40-byte, zero-terminated text fields,
// made from kModels.
struct DeviceTableRow {
  char matchText[40];
  char displayName[40];
  char filePrefix[40];
};

inline constexpr int kDeviceTableRows = static_cast<int>(kModels.size());
extern const std::array<DeviceTableRow, kDeviceTableRows> DeviceTable;

inline constexpr MatchText kUpdateMatch3B5D = MatchTextOf(kUpdateModeIds[0]);
inline constexpr MatchText kUpdateMatch0C7E = MatchTextOf(kUpdateModeIds[1]);
inline constexpr const char *kUpdateId3B5D = kUpdateMatch3B5D.data();
inline constexpr const char *kUpdateId0C7E = kUpdateMatch0C7E.data();

// "3b5d:f0b5 to f0b9, f120, f121": the models' identities, a run of three
// or more product ids as its ends.
std::string ModelIdsText();
// "3b5d:6000, 0c7e:6000": the identities of the chip in update mode.
std::string UpdateIdsText();

} // namespace orvane
