#include "isp/FlashTimeLimits.h"

#include "isp/FlashParts.h"

#include <algorithm>

namespace orvane {

namespace {

constexpr uint32_t kMargin = 4;
// Status reads during a wait take transfers of their own.
constexpr uint32_t kPollAllowanceMs = 500;
// A control transfer at full speed takes a frame of 1 ms; two for slack,
// and twice that again as the margin.
constexpr uint64_t kTransferAllowanceMs = 2;
constexpr uint64_t kTransferMargin = 2;
constexpr uint64_t kTransfersPerReadBlock = 4;
constexpr uint64_t kTransfersPerPage = 8;
constexpr uint64_t kFixedSlackMs = 10'000;
// The capacity code of the smallest part whose erase time the maxima are for.
constexpr uint8_t kBaseCapacityCode = 0x12;

// Bigger parts erase longer; the third identifier byte is the capacity as a
// power of two on the parts that follow the JEDEC habit.
uint32_t CapacityFactor(const FlashPart &part, const std::array<uint8_t, 3> &id) {
  if (!part.eraseScalesWithCapacityCode || id[2] < kBaseCapacityCode || id[2] > kLargestCapacityCode)
    return 1;
  return uint32_t{1} << (id[2] - kBaseCapacityCode);
}

FlashTimeLimits LimitsOf(const FlashPart &part, const std::array<uint8_t, 3> &id) {
  const FlashMaxima &maxima = part.maxima;
  return {maxima.statusWriteMs * kMargin + kPollAllowanceMs, maxima.pageProgramMs * kMargin + kPollAllowanceMs,
          maxima.chipEraseMs * CapacityFactor(part, id) * kMargin + kPollAllowanceMs};
}

// One attempt at the maxima: the status clear, the erase, every chunk
// programmed, and the blank check and verify reads.
uint64_t AttemptMs(const FlashPart &part, const std::array<uint8_t, 3> &id, uint32_t imageBytes) {
  const FlashMaxima &maxima = part.maxima;
  const uint64_t chunk = part.chunkBytes;
  const uint64_t chunks = (uint64_t{imageBytes} + chunk - 1) / chunk;
  const uint64_t blocks = (uint64_t{imageBytes} + kReadBlockBytes - 1) / kReadBlockBytes;
  const uint64_t perChunk = part.mode == ProgramMode::Word ? chunk / 2 + kTransfersPerPage : kTransfersPerPage;
  const uint64_t transfers = 2 * blocks * kTransfersPerReadBlock + chunks * perChunk;
  return kMargin * (uint64_t{maxima.statusWriteMs} + uint64_t{maxima.chipEraseMs} * CapacityFactor(part, id) +
                    chunks * maxima.pageProgramMs) +
         kTransferMargin * transfers * kTransferAllowanceMs;
}

uint64_t UpdateLimitOf(const FlashPart &part, const std::array<uint8_t, 3> &id, uint32_t imageBytes, int attempts) {
  const uint64_t finish = kUpdateAttempts * uint64_t{LimitsOf(part, id).statusWriteMs} + kSilenceLimitMs;
  return static_cast<uint64_t>(attempts) *
             (AttemptMs(part, id, imageBytes) + uint64_t{kRetryPauseMs} + kSilenceLimitMs) +
         finish + kFixedSlackMs;
}

// The identifier of the row's largest part: the bytes the row leaves open
// say the largest capacity.
std::array<uint8_t, 3> LargestIdOf(const FlashPart &part) {
  std::array<uint8_t, 3> id{};
  for (size_t i = 0; i < id.size(); ++i)
    id[i] = part.id[i] | static_cast<uint8_t>(i == 2 ? kLargestCapacityCode & ~part.idMask[i] : 0);
  return id;
}

} // namespace

FlashTimeLimits TimeLimitsFor(const std::array<uint8_t, 3> &flashId) {
  return LimitsOf(FlashPartFor(flashId), flashId);
}

uint64_t UpdateTimeLimitMs(const std::array<uint8_t, 3> &flashId, uint32_t imageBytes, int attempts) {
  return UpdateLimitOf(FlashPartFor(flashId), flashId, imageBytes, attempts);
}

uint64_t WorstUpdateTimeLimitMs(uint32_t imageBytes, int attempts) {
  uint64_t worst = UpdateLimitOf(kUnknownFlashPart, LargestIdOf(kUnknownFlashPart), imageBytes, attempts);
  for (const FlashPart &part : kFlashPartTable)
    worst = std::max(worst, UpdateLimitOf(part, LargestIdOf(part), imageBytes, attempts));
  return worst;
}

} // namespace orvane
