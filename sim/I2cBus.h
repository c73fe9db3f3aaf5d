#pragma once

#include "sim/I2cSlave.h"

#include <cstdint>
#include <map>
#include <vector>

namespace orvane::sim {

// The wire between the chip's I2C master and its slaves. An address nobody
// claims is not acknowledged, and reading with nobody driving the bus gives
// the pull-ups' 0xFF.
class I2cBus {
public:
  void Attach(I2cSlave &slave) { slaves_.push_back(&slave); }

  void Start();
  bool Write(uint8_t byte); // true: acknowledged
  uint8_t Read(bool acknowledge);
  void Stop();

  // The slave at address acknowledges afterBytes more bytes (its address
  // included), then nothing at all.
  void StopAcknowledging(uint8_t address, uint32_t afterBytes) { silencing_[address & 0xFE] = afterBytes; }
  void ClearFaults() { silencing_.clear(); }
  // Bus idle, no slave addressed.
  void Reset();

private:
  enum class Phase { Idle, AddressNext, Writing, Reading };
  bool Acknowledges(const I2cSlave &slave);
  I2cSlave *SlaveAt(uint8_t address) const;

  std::vector<I2cSlave *> slaves_;
  std::map<uint8_t, uint32_t> silencing_;
  I2cSlave *selected_ = nullptr;
  Phase phase_ = Phase::Idle;
};

} // namespace orvane::sim
