#pragma once

#include <cstdint>

namespace orvane::sim {

// A part on the chip's I2C bus, seen from the bus: it is addressed after a
// start condition, then receives or transmits bytes until the next start or
// stop condition.
class I2cSlave {
public:
  virtual ~I2cSlave() = default;
  // The 8-bit form of the bus address, bit 0 clear.
  virtual uint8_t Address() const = 0;
  // true: acknowledged.
  virtual bool Addressed(bool read) = 0;
  virtual bool Receive(uint8_t byte) = 0;
  virtual uint8_t Transmit() = 0;
  // A start condition ends whatever this slave was doing.
  virtual void Restart() {}
  virtual void Stop() {}
};

} // namespace orvane::sim
