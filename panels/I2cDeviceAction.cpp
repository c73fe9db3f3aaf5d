#include "panels/I2cDeviceAction.h"

namespace orvane {

I2cDeviceAction::I2cDeviceAction(ProgramState &state, Setup setup)
    : state_(state), guard_(state.monitor), chip_(state.usb, state.clock, state.flash.FlashId) {
  if (Refused())
    return;
  opened_ = state_.usb.Open();
  if (!opened_)
    return;
  if (setup == Setup::MasterInit)
    master_.I2cMasterInit();
  else
    chip_.SelectBank(chipreg::kBankI2c);
}

I2cDeviceAction::~I2cDeviceAction() {
  if (!Refused())
    state_.usb.Close();
}

} // namespace orvane
