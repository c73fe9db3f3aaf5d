#pragma once

#include "isp/IspView.h"
#include "isp/UpdateStatusView.h"
#include "usb/Clock.h"

#include <chrono>
#include <cstdint>

namespace orvane::bench {

// Stands where the window's message loop would turn during an update and
// keeps the longest stretch without a turn: in host time (what the loop
// sees while our code computes) and in modelled device time (what it
// would see with the device's latencies and the waits on a real bus).
class LoopTurnRecorder final : public IspView, public UpdateStatusView {
public:
  explicit LoopTurnRecorder(const Clock &deviceClock) : deviceClock_(deviceClock) {}

  // From now on gaps count; Finish closes the last one.
  void Start();
  void Finish() { ProcessMessages(); }

  void ProcessMessages() override;
  void ShowStatus(const std::string &, StatusTone) override {}
  void ShowProcessInfo(const std::string &) override {}
  void ShowProcessAddress(const std::string &) override {}
  void ShowStatusRegister(const std::string &) override {}

  uint64_t Turns() const { return turns_; }
  uint64_t LongestHostGapNs() const { return longestHostNs_; }
  uint64_t LongestDeviceGapUs() const { return longestDeviceUs_; }
  // Both together over the same stretch: what a user would wait for.
  uint64_t LongestCombinedGapUs() const { return longestCombinedUs_; }

private:
  const Clock &deviceClock_;
  std::chrono::steady_clock::time_point lastHost_;
  uint64_t lastDeviceUs_ = 0;
  uint64_t turns_ = 0;
  uint64_t longestHostNs_ = 0;
  uint64_t longestDeviceUs_ = 0;
  uint64_t longestCombinedUs_ = 0;
};

} // namespace orvane::bench
