#include "sim/IntelHexWriter.h"

#include <algorithm>
#include <cstdio>

namespace orvane::sim {

namespace {

constexpr uint8_t kData = 0x00;
constexpr uint8_t kEnd = 0x01;
constexpr uint8_t kExtendedLinearAddress = 0x04;

void AppendRecord(std::string &out, uint8_t type, uint16_t address, const uint8_t *bytes, size_t count) {
  uint8_t sum = static_cast<uint8_t>(count + (address >> 8) + (address & 0xFF) + type);
  char field[16];
  std::snprintf(field, sizeof field, ":%02X%04X%02X", static_cast<unsigned>(count), address, type);
  out += field;
  for (size_t i = 0; i < count; ++i) {
    std::snprintf(field, sizeof field, "%02X", bytes[i]);
    out += field;
    sum = static_cast<uint8_t>(sum + bytes[i]);
  }
  std::snprintf(field, sizeof field, "%02X\r\n", static_cast<uint8_t>(-sum) & 0xFF);
  out += field;
}

} // namespace

std::string WriteIntelHex(const uint8_t *bytes, size_t count, uint32_t baseAddress, size_t bytesPerRecord) {
  bytesPerRecord = std::clamp<size_t>(bytesPerRecord, 1, 255);
  std::string out;
  uint32_t segment = 0;
  size_t done = 0;
  while (done < count) {
    const uint32_t address = baseAddress + static_cast<uint32_t>(done);
    const uint32_t upper = address >> 16;
    if (upper != segment) {
      const uint8_t segmentBytes[2] = {static_cast<uint8_t>(upper >> 8), static_cast<uint8_t>(upper)};
      AppendRecord(out, kExtendedLinearAddress, 0, segmentBytes, 2);
      segment = upper;
    }
    const size_t toBoundary = 0x10000 - (address & 0xFFFF);
    const size_t n = std::min({bytesPerRecord, count - done, toBoundary});
    AppendRecord(out, kData, static_cast<uint16_t>(address & 0xFFFF), bytes + done, n);
    done += n;
  }
  AppendRecord(out, kEnd, 0, nullptr, 0);
  return out;
}

} // namespace orvane::sim
