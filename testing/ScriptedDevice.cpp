#include "testing/ScriptedDevice.h"

namespace orvane {

ScriptedDevice::ScriptedDevice(UsbDeviceInfo identity, Handler handler)
    : identity_(std::move(identity)), handler_(std::move(handler)) {}

UsbDeviceInfo ScriptedDevice::Describe() const {
  std::lock_guard lock(mutex_);
  return identity_;
}

TransferResult ScriptedDevice::Control(const SetupPacket &setup, uint8_t *data) {
  Handler handler;
  {
    std::lock_guard lock(mutex_);
    handler = handler_;
  }
  if (!handler)
    return {TransferStatus::Stalled, 0};
  return handler(setup, data);
}

void ScriptedDevice::SetHandler(Handler handler) {
  std::lock_guard lock(mutex_);
  handler_ = std::move(handler);
}

void ScriptedDevice::Reenumerate(const UsbDeviceInfo &identity) {
  {
    std::lock_guard lock(mutex_);
    identity_ = identity;
  }
  ++generation_;
}

} // namespace orvane
