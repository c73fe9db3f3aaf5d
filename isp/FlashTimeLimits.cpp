#include "isp/FlashTimeLimits.h"

#include <algorithm>

namespace orvane {

namespace {

// Datasheet maxima, in milliseconds, of the parts of 2 Mbit and less; a
// program is one page, or for the word program one 256-byte chunk of
// 128 words.
struct PartMaxima {
  uint8_t manufacturer;
  uint32_t statusWriteMs;
  uint32_t pageProgramMs;
  uint32_t chipEraseMs;
};

constexpr PartMaxima kMacronix{0xC2, 40, 3, 3'500};
constexpr PartMaxima kWinbond{0xEF, 15, 3, 4'000};
constexpr PartMaxima kSst{0xBF, 10, 2, 100};
constexpr PartMaxima kUnknown{0x00, 100, 5, 10'000};

constexpr uint32_t kMargin = 4;
// Status reads during a wait take transfers of their own.
constexpr uint32_t kPollAllowanceMs = 500;
constexpr uint32_t kBaseCapacityBytes = 256 * 1024;
// A control transfer at full speed takes a frame of 1 ms; two for slack,
// and twice that again as the margin.
constexpr uint64_t kTransferAllowanceMs = 2;
constexpr uint64_t kTransferMargin = 2;
constexpr uint64_t kTransfersPerReadBlock = 4;
constexpr uint64_t kReadBlockBytes = 64;
constexpr uint64_t kTransfersPerPage = 8;
constexpr uint64_t kChunkBytes = 256;
constexpr uint64_t kSmallChunkBytes = 32;
constexpr uint64_t kRetryPauseMs = 1'000;
constexpr uint64_t kFixedSlackMs = 10'000;

PartMaxima MaximaFor(uint8_t manufacturer) {
  for (const PartMaxima &part : {kMacronix, kWinbond, kSst})
    if (part.manufacturer == manufacturer)
      return part;
  return kUnknown;
}

// Bigger parts erase longer; the third identifier byte is the capacity as a
// power of two on the parts that follow the JEDEC habit.
uint32_t CapacityFactor(const std::array<uint8_t, 3> &id) {
  if (id[2] < 0x12 || id[2] > 0x18)
    return 1;
  return std::max<uint32_t>(1, (uint32_t{1} << id[2]) / kBaseCapacityBytes);
}

// One attempt at the maxima: the status clear, the erase, every chunk
// programmed, and the blank check and verify reads.
uint64_t AttemptMs(const PartMaxima &part, uint32_t capacity, const std::array<uint8_t, 3> &id, uint32_t imageBytes) {
  const bool wordProgram = id[0] == kSst.manufacturer;
  const uint64_t chunk = (id[0] == 0xC2 && id[1] == 0x22) ? kSmallChunkBytes : kChunkBytes;
  const uint64_t chunks = (uint64_t{imageBytes} + chunk - 1) / chunk;
  const uint64_t blocks = (uint64_t{imageBytes} + kReadBlockBytes - 1) / kReadBlockBytes;
  const uint64_t perChunk = wordProgram ? chunk / 2 + kTransfersPerPage : kTransfersPerPage;
  const uint64_t transfers = 2 * blocks * kTransfersPerReadBlock + chunks * perChunk;
  return kMargin *
             (uint64_t{part.statusWriteMs} + uint64_t{part.chipEraseMs} * capacity + chunks * part.pageProgramMs) +
         kTransferMargin * transfers * kTransferAllowanceMs;
}

} // namespace

FlashTimeLimits TimeLimitsFor(const std::array<uint8_t, 3> &flashId) {
  const PartMaxima part = MaximaFor(flashId[0]);
  const uint32_t capacity = part.manufacturer == kUnknown.manufacturer ? 1 : CapacityFactor(flashId);
  return {part.statusWriteMs * kMargin + kPollAllowanceMs, part.pageProgramMs * kMargin + kPollAllowanceMs,
          part.chipEraseMs * capacity * kMargin + kPollAllowanceMs};
}

uint64_t UpdateTimeLimitMs(const std::array<uint8_t, 3> &flashId, uint32_t imageBytes, int attempts) {
  const PartMaxima part = MaximaFor(flashId[0]);
  const uint32_t capacity = part.manufacturer == kUnknown.manufacturer ? 1 : CapacityFactor(flashId);
  const uint64_t perAttempt = AttemptMs(part, capacity, flashId, imageBytes);
  const uint64_t finish = 3 * uint64_t{TimeLimitsFor(flashId).statusWriteMs};
  return static_cast<uint64_t>(attempts) * (perAttempt + kRetryPauseMs) + finish + kFixedSlackMs;
}

uint64_t WorstUpdateTimeLimitMs(uint32_t imageBytes, int attempts) {
  uint64_t worst = 0;
  for (const uint8_t manufacturer : {kMacronix.manufacturer, kWinbond.manufacturer, kSst.manufacturer, uint8_t{0}})
    for (const uint8_t type : {uint8_t{0x20}, uint8_t{0x22}})
      worst = std::max(worst, UpdateTimeLimitMs({manufacturer, type, 0x18}, imageBytes, attempts));
  return worst;
}

} // namespace orvane
