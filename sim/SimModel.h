#pragma once

#include "usb/DeviceTable.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvane::sim {

inline constexpr uint16_t kModelVendorId = kOrvaneVendorId;
inline constexpr uint16_t kAlternateUpdateVendorId = kBridgeVendorId;

// A supported model as the device knows itself, from the model table.
struct SimModel {
  std::string displayName; // "Orvane-R62"
  std::string filePrefix;  // "Orvane_R62"
  uint16_t productId = 0;
  uint16_t vendorId = kModelVendorId;
};

std::vector<SimModel> SimModels();
// By display name, file prefix (both case-insensitive) or product id ("f0b8", "0xF0B8").
std::optional<SimModel> FindSimModel(std::string_view nameOrPid);
SimModel DefaultSimModel();

// What the device says of itself on the bus.
struct SimIdentity {
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  uint16_t bcdDevice = 0;
  bool audioInterface = false;
};

SimIdentity ModelIdentity(const SimModel &model);
SimIdentity UpdateIdentity(uint16_t vendorId);

} // namespace orvane::sim
