#pragma once

#include <array>
#include <cstdint>

namespace orvane {

// One supported model: three fixed 40-byte, zero-terminated text fields.
struct DeviceTableRow {
  char matchText[40];
  char displayName[40];
  char filePrefix[40];
};

inline constexpr int kDeviceTableRows = 7;
extern const std::array<DeviceTableRow, kDeviceTableRows> DeviceTable;

inline constexpr const char *kUpdateId3B5D = "vid_3b5d&pid_6000";
inline constexpr const char *kUpdateId0C7E = "vid_0c7e&pid_6000";

} // namespace orvane
