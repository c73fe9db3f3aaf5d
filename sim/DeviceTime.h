#pragma once

#include "usb/Clock.h"

#include <cstdint>

namespace orvane::sim {

// The device's own sense of time. It follows the program's clock, plus the
// time the USB transfers themselves take on the wire: a host that issues
// requests back to back without sleeping still lets the device move on,
// as it would on a real bus. Device-side durations are divided by the
// speed factor.
class DeviceTime {
public:
  DeviceTime(Clock &clock, double speed, uint32_t transferCostUs);

  uint64_t NowUs() const { return clock_.NowUs() + wireUs_; }
  // A datasheet duration as this device runs it; never 0 for a non-zero duration.
  uint64_t Scaled(uint64_t typicalUs) const;
  // Accounts for one control transfer with a data stage of the given length.
  void ChargeTransfer(uint16_t dataLength);
  Clock &Source() { return clock_; }
  double Speed() const { return speed_; }

private:
  Clock &clock_;
  double speed_;
  uint32_t transferCostUs_;
  uint64_t wireUs_ = 0;
};

} // namespace orvane::sim
