#pragma once

#include <cstdint>

namespace orvane {

// Every sleep and every time-out of the program goes through a Clock, so
// tests and benchmarks can run device waits on virtual time.
class Clock {
public:
  virtual ~Clock() = default;
  virtual void SleepMs(uint32_t ms) = 0;
  // Monotonic time in microseconds since an arbitrary start.
  virtual uint64_t NowUs() const = 0;
};

class SystemClock final : public Clock {
public:
  void SleepMs(uint32_t ms) override;
  uint64_t NowUs() const override;
};

// Time moves only when someone sleeps or advances it.
class VirtualClock final : public Clock {
public:
  void SleepMs(uint32_t ms) override {
    nowUs_ += uint64_t{ms} * 1000;
    ++sleeps_;
  }
  uint64_t NowUs() const override { return nowUs_; }
  void AdvanceUs(uint64_t us) { nowUs_ += us; }
  uint64_t SleepCount() const { return sleeps_; }

private:
  uint64_t nowUs_ = 0;
  uint64_t sleeps_ = 0;
};

} // namespace orvane
