#pragma once

#include "panels/I2cPanelContext.h"
#include "panels/MasterI2cView.h"

#include <cstdint>
#include <string>

namespace orvane {

// The "I2C Access" page: a grid of the 256 registers of one slave, its
// read-all, in-place edits and the bit boxes of the selected register.
// Device actions are refused while another one (a read-all) runs.
class MasterI2cPage {
public:
  static constexpr uint32_t kGridKeyReadBackMs = 1;
  static constexpr uint32_t kBitBoxReadBackMs = 30;

  MasterI2cPage(I2cPanelContext context, MasterI2cView &view) : context_(context), i2c_(context.i2c), view_(view) {}

  // The page became the active one.
  void SetUpMaster();
  // Enter in either slave-address box: sets the address and returns it as
  // edtMI2CAddr shows it. Throws ConvertError, leaving the address alone.
  std::string EnterSlaveAddress(const std::string &text);
  // Starts the read of all registers, or stops the one that runs.
  void ReadAllClick();
  // The cell of register reg is being selected: read and show it.
  void SelectRegister(uint8_t reg);
  // A key in the grid on register reg, whose cell holds cellText. Enter
  // writes the value, Insert and Delete one more or less, saturating.
  // Throws ConvertError, leaving mirror and device alone.
  void GridKey(uint8_t reg, int key, const std::string &cellText);
  // A mouse button released over a bit box: write the boxes' byte.
  void BitBoxesReleased(uint8_t reg, uint8_t boxes);

private:
  // Writes the mirror byte of reg, waits and reads it back into the mirror.
  void WriteAndReadBack(uint8_t reg, uint32_t waitMs);
  void ShowRegisterAndBits(uint8_t reg);
  void ShowLabels(uint8_t reg);

  I2cPanelContext context_;
  I2cPanelState &i2c_;
  MasterI2cView &view_;
};

} // namespace orvane
