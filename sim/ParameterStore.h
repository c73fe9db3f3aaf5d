#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace orvane::sim {

// What the device firmware keeps of its configuration: the audio option
// record, the USB identifiers it is to report, and its three descriptor
// strings as length-prefixed messages.
class ParameterStore {
public:
  static constexpr size_t kStringCount = 3;
  static constexpr size_t kStringMessageBytes = 32;
  static constexpr size_t kChunkBytes = 8;
  static constexpr uint8_t kEepromPresentBit = 0x80;

  ParameterStore();

  // Bytes 0-2 are options; byte 3 is the device's status, bit 7 = EEPROM present.
  std::array<uint8_t, 4> OptionRecord(bool eepromPresent) const;
  // Byte 3 is status the device owns and is not taken from the host.
  void SetOptions(const uint8_t *record4);

  const std::array<uint8_t, 4> &VendorIdText() const { return vendorId_; }
  const std::array<uint8_t, 4> &ProductIdText() const { return productId_; }
  void SetVendorIdText(const uint8_t *text4);
  void SetProductIdText(const uint8_t *text4);

  // which 0 = manufacturer, 1 = model name, 2 = serial number; chunk 0-3.
  bool WriteStringChunk(size_t which, uint8_t chunk, const uint8_t *bytes8);
  bool ReadStringChunk(size_t which, uint8_t chunk, uint8_t *out8) const;
  std::string DescriptorString(size_t which) const;
  void SetDescriptorString(size_t which, const std::string &text);

private:
  std::array<uint8_t, 3> options_{0xA1, 0x00, 0x00};
  std::array<uint8_t, 4> vendorId_{'3', 'b', '5', 'd'};
  std::array<uint8_t, 4> productId_{'6', '0', '0', '0'};
  std::array<std::array<uint8_t, kStringMessageBytes>, kStringCount> strings_{};
};

} // namespace orvane::sim
