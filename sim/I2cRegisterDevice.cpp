#include "sim/I2cRegisterDevice.h"

namespace orvane::sim {

std::vector<I2cRegisterDevice::Register> I2cRegisterDevice::DefaultLayout() {
  std::vector<Register> layout(16, Register{0x00, 0x00});
  layout[0] = {0x5A, 0xFF};
  layout[1] = {0x60, 0xF0};
  layout[2] = {0x0F, 0x00};
  return layout;
}

I2cRegisterDevice::I2cRegisterDevice(uint8_t address, std::vector<Register> layout)
    : address_(address & 0xFE), registers_(std::move(layout)) {
  if (registers_.empty())
    registers_.push_back({0x00, 0x00});
  if (registers_.size() > 256)
    registers_.resize(256);
}

bool I2cRegisterDevice::Addressed(bool read) {
  expectPointer_ = !read;
  return true;
}

bool I2cRegisterDevice::Receive(uint8_t byte) {
  const size_t count = registers_.size();
  if (expectPointer_) {
    pointer_ = static_cast<uint8_t>(byte % count);
    expectPointer_ = false;
    return true;
  }
  Register &reg = registers_[pointer_];
  reg.value = static_cast<uint8_t>((reg.value & reg.readOnlyMask) | (byte & ~reg.readOnlyMask));
  pointer_ = static_cast<uint8_t>((pointer_ + 1) % count);
  return true;
}

uint8_t I2cRegisterDevice::Transmit() {
  const uint8_t value = registers_[pointer_].value;
  pointer_ = static_cast<uint8_t>((pointer_ + 1) % registers_.size());
  return value;
}

} // namespace orvane::sim
