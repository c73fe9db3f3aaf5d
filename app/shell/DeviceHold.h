#pragma once

#include "app/shell/UpdateReporter.h"

#include <functional>
#include <memory>
#include <string>

namespace orvane {

// One device held for one action, across threads and programs; let go when
// destroyed.
class DeviceHold {
public:
  virtual ~DeviceHold() = default;
};

// Takes the device's lock before its flash is touched. nullptr, with the
// reason in *why ("device busy: another update is running (pid N)"), when
// another action holds it. Empty: no lock is taken.
using TakeDeviceHold = std::function<std::unique_ptr<DeviceHold>(const FoundDevice &device, std::string *why)>;

} // namespace orvane
