#pragma once

#include <cstdint>
#include <string>

namespace orvane {

// What the "I2C Access" page shows.
class MasterI2cView {
public:
  virtual ~MasterI2cView() = default;
  // btnReadMI2C: "Stop" while a read of all registers runs, "Read" otherwise.
  virtual void ShowReadAllRunning(bool running) = 0;
  // The grid cell of register reg: column reg % 16 + 1, row reg / 16 + 1.
  virtual void ShowRegister(uint8_t reg, const std::string &text) = 0;
  // chkMI2CBit0 to chkMI2CBit7.
  virtual void ShowBits(uint8_t value) = 0;
  virtual void ShowRegisterAddress(const std::string &text) = 0; // lblMI2CRegAddr
  virtual void ShowRegisterData(const std::string &text) = 0;    // lblMI2CRegData
  virtual void ProcessMessages() = 0;
};

} // namespace orvane
