#include "usb/DeviceTable.h"

namespace orvane {

namespace {

constexpr void CopyText(char (&field)[40], const char *text) {
  for (size_t i = 0; i + 1 < sizeof field && text[i] != '\0'; ++i)
    field[i] = text[i];
}

constexpr std::array<DeviceTableRow, kDeviceTableRows> BuildDeviceTable() {
  std::array<DeviceTableRow, kDeviceTableRows> rows{};
  for (size_t i = 0; i < kModels.size(); ++i) {
    CopyText(rows[i].matchText, MatchTextOf(kModels[i].usb).data());
    CopyText(rows[i].displayName, kModels[i].displayName);
    CopyText(rows[i].filePrefix, kModels[i].filePrefix);
  }
  return rows;
}

constexpr size_t TextLength(const char *text) {
  size_t n = 0;
  while (text[n] != '\0')
    ++n;
  return n;
}

constexpr bool NamesFitTheirFields() {
  for (const ModelRow &model : kModels)
    if (TextLength(model.displayName) >= sizeof DeviceTableRow::displayName ||
        TextLength(model.filePrefix) >= sizeof DeviceTableRow::filePrefix)
      return false;
  return true;
}
static_assert(NamesFitTheirFields(), "a model's name would be cut short in its 40-byte field");

// Four lower-case hexadecimal digits, as the match texts have them.
std::string Hex4(uint16_t value) {
  const MatchText text = MatchTextOf({value, 0});
  return std::string(text.data() + 4, 4);
}

// The length of the run of consecutive product ids of one vendor that
// starts at row first.
size_t RunFrom(size_t first) {
  size_t end = first + 1;
  while (end < kModels.size() && kModels[end].usb.vendorId == kModels[first].usb.vendorId &&
         kModels[end].usb.productId == kModels[end - 1].usb.productId + 1)
    ++end;
  return end - first;
}

constexpr size_t kShortestNamedRun = 3;

} // namespace

const std::array<DeviceTableRow, kDeviceTableRows> DeviceTable = BuildDeviceTable();

std::string ModelIdsText() {
  std::string text;
  uint16_t vendor = 0;
  for (size_t row = 0; row < kModels.size();) {
    const UsbId &id = kModels[row].usb;
    if (row == 0 || id.vendorId != vendor) {
      vendor = id.vendorId;
      text += (row == 0 ? "" : ", ") + Hex4(vendor) + ":";
    } else {
      text += ", ";
    }
    const size_t run = RunFrom(row);
    if (run >= kShortestNamedRun) {
      text += Hex4(id.productId) + " to " + Hex4(kModels[row + run - 1].usb.productId);
      row += run;
    } else {
      text += Hex4(id.productId);
      ++row;
    }
  }
  return text;
}

std::string UpdateIdsText() {
  std::string text;
  for (const UsbId &id : kUpdateModeIds)
    text += (text.empty() ? "" : ", ") + Hex4(id.vendorId) + ":" + Hex4(id.productId);
  return text;
}

} // namespace orvane
