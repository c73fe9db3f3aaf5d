#include "panels/I2cDeviceAction.h"

namespace orvane {

I2cDeviceAction::I2cDeviceAction(I2cPanelContext context, Setup setup)
    : context_(context), guard_(context.monitor), chip_(context.usb, context.clock, context.flash.FlashId) {
  if (Refused())
    return;
  opened_ = static_cast<bool>(session_.Begin());
  if (!opened_)
    return;
  if (setup == Setup::MasterInit)
    master_.I2cMasterInit();
  else
    master_.SelectI2cBank();
}

} // namespace orvane
