#include "sim/SimModel.h"

#include "usb/DeviceTable.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace orvane::sim {

namespace {

constexpr uint16_t kFirmwareRelease = 0x0161;
constexpr uint16_t kBootLoaderRelease = 0x0100;

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::optional<uint16_t> ParsePid(std::string_view text) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
    text.remove_prefix(2);
  if (text.empty() || text.size() > 4)
    return std::nullopt;
  unsigned value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
  if (error != std::errc() || end != text.data() + text.size())
    return std::nullopt;
  return static_cast<uint16_t>(value);
}

} // namespace

std::vector<SimModel> SimModels() {
  std::vector<SimModel> models;
  for (const ModelRow &row : kModels)
    models.push_back({row.displayName, row.filePrefix, row.usb.productId, row.usb.vendorId});
  return models;
}

std::optional<SimModel> FindSimModel(std::string_view nameOrPid) {
  const auto models = SimModels();
  for (const auto &model : models)
    if (SameText(model.displayName, nameOrPid) || SameText(model.filePrefix, nameOrPid))
      return model;
  if (const auto pid = ParsePid(nameOrPid))
    for (const auto &model : models)
      if (model.productId == *pid)
        return model;
  return std::nullopt;
}

SimModel DefaultSimModel() {
  return *FindSimModel("Orvane-R62");
}

SimIdentity ModelIdentity(const SimModel &model) {
  return {model.vendorId, model.productId, kFirmwareRelease, true};
}

SimIdentity UpdateIdentity(uint16_t vendorId) {
  return {vendorId, kUpdateProductId, kBootLoaderRelease, false};
}

} // namespace orvane::sim
