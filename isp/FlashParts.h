#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace orvane {

// How the host writes a part's data.
enum class ProgramMode : uint8_t {
  Page, // page program, one chunk a command
  Word, // SST auto-address-increment word program
};

// Where the size of the flash comes from.
enum class CapacityRule : uint8_t {
  CapacityCode, // the third identifier byte: 0x11 is 128 KB, each step doubles
  Fixed,        // the part numbers its parts instead: capacityBytes
  Unknown,      // nothing to tell it by
};

// Datasheet maxima, in milliseconds; a program is one page, or for the
// word program one 256-byte chunk of 128 words.
struct FlashMaxima {
  uint32_t statusWriteMs;
  uint32_t pageProgramMs;
  uint32_t chipEraseMs;
};

// One family of serial-flash parts as the host treats it. A row matches
// an identifier when the bytes under idMask equal id.
struct FlashPart {
  const char *name;
  std::array<uint8_t, 3> id;
  std::array<uint8_t, 3> idMask;
  uint16_t chunkBytes;
  ProgramMode mode;
  // The status value that protects the whole array, and the block-protect
  // bits that must read back set for the protection to count.
  uint8_t protectValue;
  uint8_t protectCheckBits;
  CapacityRule capacity;
  uint32_t capacityBytes; // CapacityRule::Fixed only
  FlashMaxima maxima;
  // Whether the erase maximum grows with the capacity code (parts above
  // 2 Mbit erase longer).
  bool eraseScalesWithCapacityCode;

  bool Matches(const std::array<uint8_t, 3> &flashId) const {
    for (size_t i = 0; i < flashId.size(); ++i)
      if ((flashId[i] & idMask[i]) != id[i])
        return false;
    return true;
  }
};

inline constexpr uint8_t kBlockProtectBits = 0x0C; // BP0 and BP1
inline constexpr std::array<uint8_t, 3> kAnyType{0xFF, 0x00, 0x00};
inline constexpr std::array<uint8_t, 3> kWholeId{0xFF, 0xFF, 0xFF};
inline constexpr FlashMaxima kUnknownPartMaxima{100, 5, 10'000};

// Looked through in order: the first row that matches is the part's.
// clang-format off
inline constexpr std::array<FlashPart, 7> kFlashPartTable = {{
    // name                     id                  idMask              chunk  mode               protect  check bits         capacity                    bytes       maxima (status, page, erase ms)  scales
    {"Macronix, 32-byte pages", {0xC2, 0x22, 0x00}, {0xFF, 0xFF, 0x00}, 32,    ProgramMode::Page, 0xFF,    kBlockProtectBits, CapacityRule::CapacityCode, 0,          {40, 3, 3'500},                  true},
    {"Macronix",                {0xC2, 0x00, 0x00}, kAnyType,           256,   ProgramMode::Page, 0xFF,    kBlockProtectBits, CapacityRule::CapacityCode, 0,          {40, 3, 3'500},                  true},
    {"Winbond",                 {0xEF, 0x00, 0x00}, kAnyType,           256,   ProgramMode::Page, 0xFF,    kBlockProtectBits, CapacityRule::CapacityCode, 0,          {15, 3, 4'000},                  true},
    // SST numbers its parts instead of coding their size; 0x7F sets every
    // status bit but BPL, which would lock the protect bits too.
    {"SST 2 Mbit",              {0xBF, 0x25, 0x8C}, kWholeId,           256,   ProgramMode::Word, 0x7F,    kBlockProtectBits, CapacityRule::Fixed,        256 * 1024, {10, 2, 100},                    true},
    {"SST",                     {0xBF, 0x00, 0x00}, kAnyType,           256,   ProgramMode::Word, 0x7F,    kBlockProtectBits, CapacityRule::Unknown,      0,          {10, 2, 100},                    true},
    // All zeros: the identifier could not be read. All ones: nothing drives the data line.
    {"no answer",               {0x00, 0x00, 0x00}, kAnyType,           256,   ProgramMode::Page, 0xFF,    kBlockProtectBits, CapacityRule::Unknown,      0,          kUnknownPartMaxima,              false},
    {"no flash",                {0xFF, 0x00, 0x00}, kAnyType,           256,   ProgramMode::Page, 0xFF,    kBlockProtectBits, CapacityRule::Unknown,      0,          kUnknownPartMaxima,              false},
}};

// An identifier no row matches: page program in 256-byte chunks, the
// capacity code taken at its word and the longest limits of them all.
inline constexpr FlashPart kUnknownFlashPart =
    {"unknown",                 {0x00, 0x00, 0x00}, {0x00, 0x00, 0x00}, 256,   ProgramMode::Page, 0xFF,    kBlockProtectBits, CapacityRule::CapacityCode, 0,          kUnknownPartMaxima,              false};
// clang-format on

const FlashPart &FlashPartFor(const std::array<uint8_t, 3> &flashId);

// Whether a flash answered with this identifier: no JEDEC maker has the
// code 0x00 (what an unread identifier holds) or 0xFF (what a data line
// nothing drives reads as), the two rows above that tell nothing.
bool IdentifierAnswered(const std::array<uint8_t, 3> &flashId);

// The size of the flash in bytes by the part's capacity rule; nullopt
// when the part's size is unknown or its capacity code lies outside 64 KB
// to 16 MB (all 24-bit addresses reach).
std::optional<uint32_t> CapacityOf(const FlashPart &part, const std::array<uint8_t, 3> &flashId);

} // namespace orvane
