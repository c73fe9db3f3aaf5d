#pragma once

#include "sim/DeviceTime.h"
#include "sim/I2cSlave.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace orvane::sim {

// A 24C02-style serial EEPROM: 256 bytes, an address pointer that counts
// on after every byte, 8-byte write pages, and a write cycle after the stop
// condition during which the part does not acknowledge its address.
class I2cEeprom final : public I2cSlave {
public:
  static constexpr size_t kBytes = 256;
  static constexpr uint8_t kPageBytes = 8;
  static constexpr uint32_t kWriteCycleUs = 5000;

  explicit I2cEeprom(DeviceTime &time, uint8_t address = 0xA0);

  uint8_t Address() const override { return address_; }
  bool Addressed(bool read) override;
  bool Receive(uint8_t byte) override;
  uint8_t Transmit() override;
  void Restart() override;
  void Stop() override;

  const std::array<uint8_t, kBytes> &Bytes() const { return memory_; }
  void Load(uint8_t offset, const uint8_t *bytes, size_t count);
  bool InWriteCycle() const { return time_.NowUs() < writeCycleEndUs_; }
  uint8_t Pointer() const { return pointer_; }

private:
  enum class Phase { Idle, WordAddress, Data, Reading };

  DeviceTime &time_;
  uint8_t address_;
  std::array<uint8_t, kBytes> memory_;
  uint8_t pointer_ = 0;
  Phase phase_ = Phase::Idle;
  uint8_t latchPage_ = 0;
  uint8_t latchMask_ = 0;
  std::array<uint8_t, kPageBytes> latch_{};
  uint64_t writeCycleEndUs_ = 0;
};

} // namespace orvane::sim
