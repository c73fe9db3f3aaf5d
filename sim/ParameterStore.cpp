#include "sim/ParameterStore.h"

#include <algorithm>

namespace orvane::sim {

namespace {
constexpr size_t kMaxStringCharacters = ParameterStore::kStringMessageBytes - 1;
constexpr size_t kChunks = ParameterStore::kStringMessageBytes / ParameterStore::kChunkBytes;
} // namespace

ParameterStore::ParameterStore() {
  SetDescriptorString(0, "Vantrel-inc");
  SetDescriptorString(1, "Vantrel-inc UAC2 22");
  SetDescriptorString(2, "VXUA170203");
}

std::array<uint8_t, 4> ParameterStore::OptionRecord(bool eepromPresent) const {
  return {options_[0], options_[1], options_[2], static_cast<uint8_t>(eepromPresent ? kEepromPresentBit : 0)};
}

void ParameterStore::SetOptions(const uint8_t *record4) {
  std::copy_n(record4, options_.size(), options_.begin());
}

void ParameterStore::SetVendorIdText(const uint8_t *text4) {
  std::copy_n(text4, 4, vendorId_.begin());
}

void ParameterStore::SetProductIdText(const uint8_t *text4) {
  std::copy_n(text4, 4, productId_.begin());
}

bool ParameterStore::WriteStringChunk(size_t which, uint8_t chunk, const uint8_t *bytes8) {
  if (which >= kStringCount || chunk >= kChunks)
    return false;
  std::copy_n(bytes8, kChunkBytes, strings_[which].begin() + chunk * kChunkBytes);
  return true;
}

bool ParameterStore::ReadStringChunk(size_t which, uint8_t chunk, uint8_t *out8) const {
  if (which >= kStringCount || chunk >= kChunks)
    return false;
  std::copy_n(strings_[which].begin() + chunk * kChunkBytes, kChunkBytes, out8);
  return true;
}

std::string ParameterStore::DescriptorString(size_t which) const {
  if (which >= kStringCount)
    return {};
  const auto &message = strings_[which];
  // A length byte beyond what the message can hold counts as the longest string that fits.
  const size_t length = std::min<size_t>(message[0], kMaxStringCharacters);
  return std::string(message.begin() + 1, message.begin() + 1 + length);
}

void ParameterStore::SetDescriptorString(size_t which, const std::string &text) {
  if (which >= kStringCount)
    return;
  auto &message = strings_[which];
  message.fill(0);
  const size_t length = std::min(text.size(), kMaxStringCharacters);
  message[0] = static_cast<uint8_t>(length);
  std::copy_n(text.begin(), length, message.begin() + 1);
}

} // namespace orvane::sim
