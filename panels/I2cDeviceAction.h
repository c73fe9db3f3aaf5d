#pragma once

#include "panels/DeviceActionGuard.h"
#include "panels/I2cPanelContext.h"
#include "usb/ChipCommands.h"
#include "usb/DeviceSession.h"
#include "usb/I2cMaster.h"

namespace orvane {

// One device action of the I2C panel: refused while another action holds
// the device; otherwise opens the device in a session of its own, selects
// the I2C master's bank (other pages leave other banks selected, and the
// master's registers must not land in them) and closes the device when it
// ends.
class I2cDeviceAction {
public:
  enum class Setup {
    BankOnly,   // select bank 0x0E
    MasterInit, // I2cMasterInit: the bank and the master's set-up register
  };

  explicit I2cDeviceAction(I2cPanelContext context, Setup setup = Setup::BankOnly);
  I2cDeviceAction(const I2cDeviceAction &) = delete;
  I2cDeviceAction &operator=(const I2cDeviceAction &) = delete;

  bool Refused() const { return !guard_.acquired(); }
  bool Opened() const { return opened_; }
  I2cMaster &Master() { return master_; }

private:
  I2cPanelContext context_;
  DeviceActionGuard guard_;
  ChipCommands chip_;
  DeviceSession session_{chip_};
  I2cMaster master_{chip_};
  bool opened_ = false;
};

} // namespace orvane
