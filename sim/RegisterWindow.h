#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace orvane::sim {

// A block of the chip that answers some registers of one bank itself.
class RegisterHandler {
public:
  virtual ~RegisterHandler() = default;
  virtual bool Handles(uint8_t reg) const = 0;
  virtual uint8_t Read(uint8_t reg) = 0;
  virtual void Write(uint8_t reg, uint8_t value) = 0;
};

// The chip's register window: 256 registers per bank, register 0 of every
// bank selects the bank shown. Registers nobody handles are plain storage.
class RegisterWindow {
public:
  static constexpr uint8_t kBankSelect = 0x00;

  RegisterWindow();

  uint8_t Read(uint8_t reg);
  void Write(uint8_t reg, uint8_t value);
  void Attach(uint8_t bank, RegisterHandler &handler);

  uint8_t Bank() const { return bank_; }
  // Storage as it stands, bypassing the handlers.
  uint8_t Peek(uint8_t bank, uint8_t reg) const { return storage_[bank][reg]; }
  void Poke(uint8_t bank, uint8_t reg, uint8_t value) { storage_[bank][reg] = value; }
  // Power-on values: everything 0, bank 0.
  void Reset();

private:
  RegisterHandler *HandlerFor(uint8_t reg) const;

  std::vector<std::array<uint8_t, 256>> storage_;
  std::array<RegisterHandler *, 256> handlers_{};
  uint8_t bank_ = 0;
};

} // namespace orvane::sim
