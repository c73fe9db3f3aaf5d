#pragma once

#include <cstdint>

namespace orvane::sim {

// The chip's ISP mode switch: a request with the one right key pair enters,
// another leaves. Leaving is what lets the chip restart into its firmware.
class IspGate {
public:
  enum class Answer { Accepted, Rejected };

  Answer Enter(uint16_t value, uint16_t index);
  Answer Leave(uint16_t value, uint16_t index);
  bool Active() const { return active_; }
  // ISP mode has been left since the last restart.
  bool LeftSinceRestart() const { return left_; }
  void Reset();

private:
  bool active_ = false;
  bool left_ = false;
};

} // namespace orvane::sim
