#include "panels/MasterI2cPage.h"

#include "isp/HexText.h"
#include "panels/HexByteEntry.h"
#include "panels/I2cDeviceAction.h"
#include "panels/KeyCodes.h"

namespace orvane {

void MasterI2cPage::SetUpMaster() {
  // Without a device there is nothing to set up; the window's own page
  // changes while it starts come here too.
  if (!context_.usb.IsFound())
    return;
  I2cDeviceAction action(context_, I2cDeviceAction::Setup::MasterInit);
}

std::string MasterI2cPage::EnterSlaveAddress(const std::string &text) {
  i2c_.I2cSlaveAddress = HexByteEntry(text);
  return Hex2(i2c_.I2cSlaveAddress);
}

void MasterI2cPage::ReadAllClick() {
  // Stop works even when the device went away meanwhile.
  if (i2c_.ReadAllTag != 0) {
    // The running read notices at its next register.
    i2c_.ReadAllTag = 0;
    view_.ShowReadAllRunning(false);
    return;
  }
  if (!context_.usb.IsFound())
    return;
  I2cDeviceAction action(context_);
  if (action.Refused())
    return;
  i2c_.ReadAllTag = 1;
  view_.ShowReadAllRunning(true);
  for (int n = 0; n < 256 && i2c_.ReadAllTag != 0; ++n) {
    const auto reg = static_cast<uint8_t>(n);
    action.Master().I2cReadRegisters(i2c_.I2cSlaveAddress, reg, 1, &i2c_.I2cRegisterMirror[reg]);
    view_.ShowRegister(reg, Hex2(i2c_.I2cRegisterMirror[reg]));
    view_.ProcessMessages();
  }
  i2c_.ReadAllTag = 0;
  view_.ShowReadAllRunning(false);
}

void MasterI2cPage::SelectRegister(uint8_t reg) {
  {
    I2cDeviceAction action(context_);
    // While a read-all runs, the boxes still follow the selected register,
    // so that they never stand for another one.
    if (!action.Refused())
      action.Master().I2cReadRegisters(i2c_.I2cSlaveAddress, reg, 1, &i2c_.I2cRegisterMirror[reg]);
  }
  ShowRegisterAndBits(reg);
  ShowLabels(reg);
}

void MasterI2cPage::GridKey(uint8_t reg, int key, const std::string &cellText) {
  if (key != vk::Return && key != vk::Insert && key != vk::Delete)
    return;
  const uint8_t entered = HexByteEntry(cellText);
  if (context_.monitor.ActionRunning) {
    // Nothing was written: the cell shows again what the register holds.
    ShowRegisterAndBits(reg);
    return;
  }
  uint8_t &mirror = i2c_.I2cRegisterMirror[reg];
  mirror = entered;
  // One more or less saturates: nothing is written at the end of the range.
  if ((key == vk::Insert && entered == 0xFF) || (key == vk::Delete && entered == 0x00))
    return;
  if (key == vk::Insert)
    ++mirror;
  else if (key == vk::Delete)
    --mirror;
  WriteAndReadBack(reg, kGridKeyReadBackMs);
  ShowRegisterAndBits(reg);
}

void MasterI2cPage::BitBoxesReleased(uint8_t reg, uint8_t boxes) {
  if (context_.monitor.ActionRunning) {
    // Nothing was written: the boxes go back to what the register holds.
    view_.ShowBits(i2c_.I2cRegisterMirror[reg]);
    return;
  }
  i2c_.I2cRegisterMirror[reg] = boxes;
  WriteAndReadBack(reg, kBitBoxReadBackMs);
  ShowRegisterAndBits(reg);
  ShowLabels(reg);
}

void MasterI2cPage::WriteAndReadBack(uint8_t reg, uint32_t waitMs) {
  I2cDeviceAction action(context_);
  if (action.Refused())
    return;
  uint8_t &mirror = i2c_.I2cRegisterMirror[reg];
  // The read-back after the write shows what the register holds.
  action.Master().I2cWriteRegisters(i2c_.I2cSlaveAddress, reg, 1, &mirror);
  context_.clock.SleepMs(waitMs);
  action.Master().I2cReadRegisters(i2c_.I2cSlaveAddress, reg, 1, &mirror);
}

void MasterI2cPage::ShowRegisterAndBits(uint8_t reg) {
  view_.ShowRegister(reg, Hex2(i2c_.I2cRegisterMirror[reg]));
  view_.ShowBits(i2c_.I2cRegisterMirror[reg]);
}

void MasterI2cPage::ShowLabels(uint8_t reg) {
  view_.ShowRegisterAddress("Reg 0x" + Hex2(reg));
  view_.ShowRegisterData("= 0x" + Hex2(i2c_.I2cRegisterMirror[reg]));
}

} // namespace orvane
