#include "sim/FlashChannel.h"

#include <algorithm>

namespace orvane::sim {

namespace {
// One byte on the flash's serial bus at the chip's 8 MHz clock.
constexpr uint64_t kSpiByteUs = 1;
constexpr uint8_t kDummy = 0xFF;
} // namespace

uint64_t FlashChannel::Shift(size_t byteCount) {
  const uint64_t start = std::max(time_.NowUs(), freeAtUs_);
  freeAtUs_ = start + time_.Scaled(kSpiByteUs) * byteCount;
  return start;
}

void FlashChannel::Write(const uint8_t *bytes, size_t count, bool last) {
  if (!flash_.Selected())
    flash_.Select();
  for (size_t i = 0; i < count; ++i)
    flash_.Exchange(bytes[i]);
  if (last)
    flash_.Deselect();
  Shift(count);
}

bool FlashChannel::Query(const uint8_t *bytes, size_t count, uint16_t replyLength) {
  if (replyLength > kReplyBufferBytes)
    return false;
  Reveal(true);
  if (!flash_.Selected())
    flash_.Select();
  for (size_t i = 0; i < count; ++i)
    flash_.Exchange(bytes[i]);
  pending_.resize(replyLength);
  for (auto &byte : pending_)
    byte = flash_.Exchange(kDummy);
  flash_.Deselect();
  const uint64_t start = Shift(count + replyLength);
  pendingFirstByteUs_ = start + time_.Scaled(kSpiByteUs) * (count + 1);
  return true;
}

void FlashChannel::Reveal(bool all) {
  if (pending_.empty())
    return;
  const uint64_t now = time_.NowUs();
  const uint64_t perByte = time_.Scaled(kSpiByteUs);
  size_t arrived = pending_.size();
  if (!all)
    arrived =
        now < pendingFirstByteUs_ ? 0 : std::min<uint64_t>(pending_.size(), (now - pendingFirstByteUs_) / perByte + 1);
  std::copy_n(pending_.begin(), arrived, buffer_.begin());
  if (arrived == pending_.size())
    pending_.clear();
}

size_t FlashChannel::Fetch(uint8_t *out, size_t capacity) {
  Reveal(false);
  const size_t n = std::min(capacity, buffer_.size());
  std::copy_n(buffer_.begin(), n, out);
  return n;
}

void FlashChannel::Reset() {
  Reveal(true);
  flash_.Deselect();
  freeAtUs_ = 0;
}

} // namespace orvane::sim
