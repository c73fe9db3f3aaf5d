#include "sim/TransferFaults.h"

namespace orvane::sim {

void TransferFaults::Clear() {
  faults_.clear();
  unplugAfter_.reset();
}

std::optional<TransferFault> TransferFaults::Hit(const SetupPacket &setup) {
  std::optional<TransferFault> hit;
  for (auto &fault : faults_) {
    if (fault.request && *fault.request != setup.request)
      continue;
    if (fault.in && *fault.in != setup.isIn())
      continue;
    ++fault.seen;
    if (!hit && (fault.nth == 0 || fault.seen == fault.nth))
      hit = fault;
  }
  return hit;
}

bool TransferFaults::CountTowardsUnplug() {
  if (!unplugAfter_)
    return false;
  if (*unplugAfter_ > 0)
    --*unplugAfter_;
  if (*unplugAfter_ == 0) {
    unplugAfter_.reset();
    return true;
  }
  return false;
}

} // namespace orvane::sim
