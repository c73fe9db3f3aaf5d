#pragma once

#include "usb/Clock.h"

#include <cstdint>
#include <functional>
#include <utility>

namespace orvane::test {

// Virtual time that can plug a device in when it reaches a moment.
class PlugClock final : public Clock {
public:
  void SleepMs(uint32_t ms) override {
    nowUs_ += uint64_t{ms} * 1000;
    if (onTime_ && nowUs_ >= atUs_)
      std::exchange(onTime_, nullptr)();
  }
  uint64_t NowUs() const override { return nowUs_; }
  void At(uint64_t us, std::function<void()> action) {
    atUs_ = us;
    onTime_ = std::move(action);
  }

private:
  uint64_t nowUs_ = 0;
  uint64_t atUs_ = 0;
  std::function<void()> onTime_;
};

} // namespace orvane::test
