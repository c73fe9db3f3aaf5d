#include "usb/DeviceSession.h"

namespace orvane {

DeviceSession::~DeviceSession() {
  if (!begun_)
    return;
  VantrelUsb &usb = chip_.Usb();
  // A lost handle fails every call at once: there is nothing to ask.
  if (inIsp_ && usb.HasHandle() && usb.Loss() == DeviceLoss::None) {
    // The last step on the way out: there is no one left to tell that the
    // chip stayed in ISP mode, and it restarts into it when plugged in again.
    static_cast<void>(chip_.SetIspMode(false));
  }
  End();
}

void DeviceSession::End() {
  if (!begun_)
    return;
  VantrelUsb &usb = chip_.Usb();
  usb.Close();
  if (holdsLock_)
    usb.ReleaseDeviceLock();
  holdsLock_ = false;
  inIsp_ = false;
  begun_ = false;
}

DeviceResult DeviceSession::Outcome(bool went) const {
  return went ? DeviceResult::Done() : DeviceResult::Failed(chip_.Usb().LastDeviceError());
}

DeviceResult DeviceSession::Begin() {
  VantrelUsb &usb = chip_.Usb();
  begun_ = true;
  if (!holdsLock_) {
    if (!usb.HoldDeviceLock())
      return DeviceResult::Failed(usb.LastDeviceError());
    holdsLock_ = true;
  }
  return Outcome(usb.Open());
}

DeviceResult DeviceSession::Reopen() {
  return Outcome(chip_.Usb().Open());
}

VantrelUsb::ReopenOutcome DeviceSession::ReopenPinned(const DevicePin &pin) {
  return chip_.Usb().ReopenPinned(pin);
}

DeviceResult DeviceSession::EnterIsp() {
  const bool entered = chip_.SetIspMode(true);
  // Half switched is in ISP mode as far as leaving it goes.
  inIsp_ = true;
  return Outcome(entered);
}

DeviceResult DeviceSession::LeaveIsp() {
  inIsp_ = false;
  return Outcome(chip_.SetIspMode(false));
}

} // namespace orvane
