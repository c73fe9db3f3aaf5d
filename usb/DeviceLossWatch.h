#pragma once

#include "usb/DeviceBus.h"

namespace orvane {

// Tells from the outcomes of one handle's transfers whether its device is
// lost, and how: gone for good (unplugged, or its interface vanished), or
// still there but silent, which a reopen may cure.
class DeviceLossWatch {
public:
  // Time-outs in a row before a present device counts as no longer answering.
  static constexpr int kTimeoutsUntilSilent = 3;

  // The device answered: done, or a request it rejected.
  void Answered() {
    if (loss_ == DeviceLoss::None)
      timeoutsInRow_ = 0;
  }
  void TimedOut() {
    if (loss_ == DeviceLoss::None && ++timeoutsInRow_ >= kTimeoutsUntilSilent)
      loss_ = DeviceLoss::StoppedAnswering;
  }
  // Final: nothing that follows brings the device back on this handle.
  void Gone() { loss_ = DeviceLoss::Unplugged; }
  // A call that cannot be given back has left the handle unusable.
  void Wedged() {
    if (loss_ == DeviceLoss::None)
      loss_ = DeviceLoss::StoppedAnswering;
  }

  DeviceLoss Loss() const { return loss_; }

private:
  int timeoutsInRow_ = 0;
  DeviceLoss loss_ = DeviceLoss::None;
};

} // namespace orvane
