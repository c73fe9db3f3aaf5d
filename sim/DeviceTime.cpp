#include "sim/DeviceTime.h"

#include <cmath>

namespace orvane::sim {

namespace {
// Roughly what one byte of a data stage adds on a full-speed bus.
constexpr uint32_t kWireUsPerDataByte = 1;
} // namespace

DeviceTime::DeviceTime(Clock &clock, double speed, uint32_t transferCostUs)
    : clock_(clock), speed_(std::isfinite(speed) && speed > 0 ? speed : 1.0), transferCostUs_(transferCostUs) {}

uint64_t DeviceTime::Scaled(uint64_t typicalUs) const {
  if (typicalUs == 0)
    return 0;
  const double scaled = static_cast<double>(typicalUs) / speed_;
  if (scaled < 1.0)
    return 1;
  if (scaled > 1e15)
    return static_cast<uint64_t>(1e15);
  return static_cast<uint64_t>(scaled);
}

void DeviceTime::ChargeTransfer(uint16_t dataLength) {
  if (transferCostUs_ == 0)
    return;
  wireUs_ += transferCostUs_ + uint64_t{dataLength} * kWireUsPerDataByte;
}

} // namespace orvane::sim
