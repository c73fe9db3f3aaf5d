#include "bench/LoopTurnRecorder.h"

#include <algorithm>

namespace orvane::bench {

void LoopTurnRecorder::Start() {
  lastHost_ = std::chrono::steady_clock::now();
  lastDeviceUs_ = deviceClock_.NowUs();
  turns_ = 0;
  longestHostNs_ = 0;
  longestDeviceUs_ = 0;
  longestCombinedUs_ = 0;
}

void LoopTurnRecorder::ProcessMessages() {
  const auto host = std::chrono::steady_clock::now();
  const uint64_t device = deviceClock_.NowUs();
  const auto hostNs = static_cast<uint64_t>((host - lastHost_).count());
  const uint64_t deviceUs = device - lastDeviceUs_;
  longestHostNs_ = std::max(longestHostNs_, hostNs);
  longestDeviceUs_ = std::max(longestDeviceUs_, deviceUs);
  longestCombinedUs_ = std::max(longestCombinedUs_, hostNs / 1000 + deviceUs);
  lastHost_ = host;
  lastDeviceUs_ = device;
  ++turns_;
}

} // namespace orvane::bench
