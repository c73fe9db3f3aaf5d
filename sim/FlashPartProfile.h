#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvane::sim {

// How a part's status register reads and protects.
enum class FlashFamily : uint8_t {
  Macronix, // bits 2-3 BP0-BP1, bit 7 SRWD
  Winbond,  // bits 2-4 BP0-BP2, bit 5 TB, bit 6 SEC, bit 7 SRP0
  Sst,      // bits 2-3 BP0-BP1, bit 6 AAI, bit 7 BPL; auto-address-increment word program
};

// Datasheet-typical durations, in microseconds.
struct FlashTimings {
  uint32_t pageProgramUs;
  uint32_t byteProgramUs; // SST byte and word program
  uint32_t sectorEraseUs; // 4 KB
  uint32_t blockEraseUs;  // 64 KB
  uint32_t chipEraseUs;
  uint32_t statusWriteUs;
};

struct FlashPartProfile {
  std::string name; // "C22012"
  std::string description;
  std::array<uint8_t, 3> jedecId;
  uint32_t sizeBytes;
  uint32_t pageBytes;
  FlashFamily family;
  uint8_t statusWritableMask; // bits a status write can change
  uint8_t powerUpStatus;      // status right after power-up
  FlashTimings timings;
};

// Every part the simulator knows.
const std::vector<FlashPartProfile> &FlashPartProfiles();
// By name ("C22011", case-insensitive) or by identifier ("C2 22 11", "c22211").
std::optional<FlashPartProfile> FindFlashPart(std::string_view nameOrId);
FlashPartProfile DefaultFlashPart();

inline constexpr uint8_t kStatusBusy = 0x01;
inline constexpr uint8_t kStatusWriteEnable = 0x02;
inline constexpr uint8_t kStatusSstAai = 0x40;
inline constexpr uint8_t kStatusLock = 0x80; // SRWD, SRP0 or BPL

// Half-open byte range [begin, end) of the array that the protect bits shield.
struct ProtectedRange {
  uint32_t begin = 0;
  uint32_t end = 0;
  bool Contains(uint32_t address) const { return address >= begin && address < end; }
  bool Empty() const { return begin >= end; }
};

ProtectedRange ProtectedRangeFor(const FlashPartProfile &part, uint8_t status);

} // namespace orvane::sim
