#include "sim/FlashPartProfile.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace orvane::sim {

namespace {

constexpr uint32_t kBlockBytes = 64 * 1024;
constexpr uint32_t kSectorBytes = 4 * 1024;

std::vector<FlashPartProfile> BuildProfiles() {
  return {
      {"C22012",
       "Macronix-style 2 Mbit, 256-byte pages",
       {0xC2, 0x20, 0x12},
       256 * 1024,
       256,
       FlashFamily::Macronix,
       0x8C,
       0x00,
       {1400, 0, 60'000, 700'000, 1'800'000, 5'000}},
      {"C22011",
       "Macronix-style 1 Mbit, 32-byte pages",
       {0xC2, 0x22, 0x11},
       128 * 1024,
       32,
       FlashFamily::Macronix,
       0x8C,
       0x00,
       {1400, 0, 60'000, 700'000, 1'000'000, 5'000}},
      {"EF4012",
       "Winbond-style 2 Mbit, 256-byte pages",
       {0xEF, 0x40, 0x12},
       256 * 1024,
       256,
       FlashFamily::Winbond,
       0xFC,
       0x00,
       {700, 0, 45'000, 150'000, 1'000'000, 10'000}},
      {"BF258C",
       "SST-style 2 Mbit, byte and auto-address-increment word program",
       {0xBF, 0x25, 0x8C},
       256 * 1024,
       1,
       FlashFamily::Sst,
       0x8C,
       0x0C,
       {0, 10, 18'000, 18'000, 35'000, 5'000}},
  };
}

std::string Normalised(std::string_view text) {
  std::string out;
  for (char c : text)
    if (std::isxdigit(static_cast<unsigned char>(c)))
      out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    else if (c != ' ' && c != '-' && c != ':')
      return {};
  return out;
}

std::string IdText(const std::array<uint8_t, 3> &id) {
  char text[7];
  std::snprintf(text, sizeof text, "%02X%02X%02X", id[0], id[1], id[2]);
  return text;
}

} // namespace

const std::vector<FlashPartProfile> &FlashPartProfiles() {
  static const std::vector<FlashPartProfile> profiles = BuildProfiles();
  return profiles;
}

std::optional<FlashPartProfile> FindFlashPart(std::string_view nameOrId) {
  const std::string key = Normalised(nameOrId);
  if (key.empty())
    return std::nullopt;
  for (const auto &part : FlashPartProfiles())
    if (part.name == key || IdText(part.jedecId) == key)
      return part;
  return std::nullopt;
}

FlashPartProfile DefaultFlashPart() {
  return FlashPartProfiles().front();
}

ProtectedRange ProtectedRangeFor(const FlashPartProfile &part, uint8_t status) {
  const uint32_t size = part.sizeBytes;
  const bool winbond = part.family == FlashFamily::Winbond;
  const unsigned bp = winbond ? (status >> 2) & 0x07 : (status >> 2) & 0x03;
  if (bp == 0)
    return {};
  uint32_t bytes = 0;
  const bool sectorGranular = winbond && (status & 0x40) != 0;
  if (sectorGranular) {
    bytes = bp >= 6 ? size : std::min<uint32_t>(kSectorBytes << std::min(bp - 1, 3u), size);
  } else {
    const uint32_t blocks = std::max<uint32_t>(1, size / kBlockBytes);
    bytes = std::min(blocks, 1u << (bp - 1)) * kBlockBytes;
    if (winbond && bp == 7)
      bytes = size;
    bytes = std::min(bytes, size);
  }
  const bool fromBottom = winbond && (status & 0x20) != 0;
  if (fromBottom)
    return {0, bytes};
  return {size - bytes, size};
}

} // namespace orvane::sim
