#pragma once

#include "sim/ChipSimulator.h"
#include "testing/ForwardingDevice.h"
#include "usb/Clock.h"

#include <cstdint>
#include <optional>

namespace orvane {

// A chip that shows itself on the bus only from a moment of the clock on,
// as a dongle plugged in then does; until AppearAt it is not there at all.
class LatePluggedDevice final : public ForwardingDevice {
public:
  LatePluggedDevice(sim::ChipSimulator &chip, const Clock &clock)
      : ForwardingDevice(chip), chip_(chip), clock_(clock) {}

  bool Present() const override { return appearUs_ && clock_.NowUs() >= *appearUs_ && chip_.Present(); }
  void AppearAt(uint64_t us) { appearUs_ = us; }

private:
  const sim::ChipSimulator &chip_;
  const Clock &clock_;
  std::optional<uint64_t> appearUs_;
};

} // namespace orvane
