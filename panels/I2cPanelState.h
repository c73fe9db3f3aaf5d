#pragma once

#include <array>
#include <cstdint>

namespace orvane {

// What the master-I2C page and the special I2C group keep for the whole run.
struct I2cPanelState {
  // 8-bit write address of the slave both groups talk to.
  uint8_t I2cSlaveAddress = 0x20;
  // The last value entered, read or written for each register of the slave.
  std::array<uint8_t, 256> I2cRegisterMirror{};
  // btnReadMI2C's Tag: 1 while a read of all registers runs.
  int ReadAllTag = 0;
};

} // namespace orvane
