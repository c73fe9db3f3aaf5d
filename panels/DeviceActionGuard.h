#pragma once

#include "panels/MonitorFlags.h"

namespace orvane {

// Marks a device action as running for its lifetime. A second action that
// starts while one runs (the message loop turns inside long actions) does
// not acquire the guard and must do nothing.
class DeviceActionGuard {
public:
  explicit DeviceActionGuard(MonitorFlags &flags) : flags_(flags), acquired_(!flags.ActionRunning) {
    if (acquired_)
      Set(true);
  }
  ~DeviceActionGuard() {
    if (acquired_)
      Set(false);
  }
  DeviceActionGuard(const DeviceActionGuard &) = delete;
  DeviceActionGuard &operator=(const DeviceActionGuard &) = delete;

  bool acquired() const { return acquired_; }
  explicit operator bool() const { return acquired_; }

private:
  void Set(bool running) {
    flags_.ActionRunning = running;
    if (flags_.actionRunningChanged)
      flags_.actionRunningChanged(running);
  }

  MonitorFlags &flags_;
  bool acquired_;
};

} // namespace orvane
