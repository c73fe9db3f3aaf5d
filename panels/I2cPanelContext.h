#pragma once

#include "isp/FlashState.h"
#include "panels/I2cPanelState.h"
#include "panels/MonitorFlags.h"
#include "usb/Clock.h"
#include "usb/VantrelUsb.h"

namespace orvane {

// What the I2C page's actions reach: the device, the clock, the flag that
// marks a running device action, the flash identifier the chip commands
// keep up to date and the page's own state. The program owns all of it
// for its whole run; the page borrows it for one action.
struct I2cPanelContext {
  VantrelUsb &usb;
  Clock &clock;
  MonitorFlags &monitor;
  FlashState &flash;
  I2cPanelState &i2c;
};

} // namespace orvane
