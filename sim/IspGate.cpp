#include "sim/IspGate.h"

namespace orvane::sim {

namespace {
constexpr uint16_t kEnterValue = 0x3C41;
constexpr uint16_t kEnterIndex = 0x71C5;
constexpr uint16_t kLeaveValue = 0x6B1E;
constexpr uint16_t kLeaveIndex = 0x4A97;
} // namespace

IspGate::Answer IspGate::Enter(uint16_t value, uint16_t index) {
  if (value != kEnterValue || index != kEnterIndex)
    return Answer::Rejected;
  active_ = true;
  return Answer::Accepted;
}

IspGate::Answer IspGate::Leave(uint16_t value, uint16_t index) {
  if (value != kLeaveValue || index != kLeaveIndex)
    return Answer::Rejected;
  if (active_)
    left_ = true;
  active_ = false;
  return Answer::Accepted;
}

void IspGate::Reset() {
  active_ = false;
  left_ = false;
}

} // namespace orvane::sim
