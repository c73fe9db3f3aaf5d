#pragma once

#include "sim/I2cSlave.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace orvane::sim {

// A register-file part on the I2C bus (a converter or port expander): the
// first byte of a write sets the register pointer, the pointer counts on
// after each byte, and some bits are read-only.
class I2cRegisterDevice final : public I2cSlave {
public:
  struct Register {
    uint8_t value;
    uint8_t readOnlyMask;
  };

  // 16 registers: 0x00 the part's identity 0x5A (read-only), 0x01 with
  // read-only state bits 7-4 (0x60) and writable bits 3-0, 0x02-0x0F writable.
  static std::vector<Register> DefaultLayout();

  explicit I2cRegisterDevice(uint8_t address = 0x20, std::vector<Register> layout = DefaultLayout());

  uint8_t Address() const override { return address_; }
  bool Addressed(bool read) override;
  bool Receive(uint8_t byte) override;
  uint8_t Transmit() override;
  void Restart() override { expectPointer_ = false; }
  void Stop() override { expectPointer_ = false; }

  uint8_t Value(uint8_t reg) const { return registers_[reg % registers_.size()].value; }
  size_t Count() const { return registers_.size(); }
  uint8_t Pointer() const { return pointer_; }

private:
  uint8_t address_;
  std::vector<Register> registers_;
  uint8_t pointer_ = 0;
  bool expectPointer_ = false;
};

} // namespace orvane::sim
