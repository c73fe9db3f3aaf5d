#pragma once

#include "panels/MonitorFlags.h"

namespace orvane {

// Holds the connection monitor off (Busy) for the lifetime of a sequence,
// also when the sequence ends early.
class BusyScope {
public:
  explicit BusyScope(MonitorFlags &flags) : flags_(flags) { flags_.Busy = true; }
  ~BusyScope() { flags_.Busy = false; }
  BusyScope(const BusyScope &) = delete;
  BusyScope &operator=(const BusyScope &) = delete;

private:
  MonitorFlags &flags_;
};

} // namespace orvane
