#pragma once

#include "sim/FlashPartProfile.h"
#include "sim/SampleFirmware.h"
#include "sim/SimModel.h"

#include <cstdint>
#include <string>
#include <vector>

namespace orvane::sim {

// How a simulated device is built. The defaults give an Orvane-R62 with a
// Macronix-style 256 KB flash, an EEPROM on its I2C bus, and a blank flash
// (so it comes up in update mode until firmware is put into initialFlash).
struct SimConfig {
  SimModel model = DefaultSimModel();
  FlashPartProfile flashPart = DefaultFlashPart();
  // Flash contents from address 0 at power-up; the rest is erased.
  std::vector<uint8_t> initialFlash;
  // Vendor id of the update-mode identity (product id 0x6000).
  uint16_t updateVendorId = kModelVendorId;
  // Comes up in update mode at power-up even with firmware in the flash.
  bool startInUpdateMode = false;
  bool eepromPresent = true;
  // Device-side durations are divided by this.
  double speed = 1.0;
  // Device time each control transfer takes on the wire, on top of the
  // clock; 0 where the transfers take real time of their own (the server).
  uint32_t transferCostUs = 200;
  std::string location = "sim";
  std::string serial = "VXUA170203";
};

// A chip that comes up in firmware-update mode under vendorId:6000.
inline SimConfig UpdateModeConfig(uint16_t vendorId) {
  SimConfig config;
  config.updateVendorId = vendorId;
  config.startInUpdateMode = true;
  return config;
}

// A chip of the model whose flash holds firmware from address 0, so it
// comes up running it.
inline SimConfig FirmwareConfig(std::vector<uint8_t> firmware, SimModel model = DefaultSimModel()) {
  SimConfig config;
  config.model = std::move(model);
  config.initialFlash = std::move(firmware);
  return config;
}

// A chip of the model running the model's sample firmware.
inline SimConfig SampleFirmwareConfig(const SimModel &model = DefaultSimModel()) {
  return FirmwareConfig(GenerateSampleFirmware(model), model);
}

} // namespace orvane::sim
