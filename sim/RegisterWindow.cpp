#include "sim/RegisterWindow.h"

namespace orvane::sim {

RegisterWindow::RegisterWindow() : storage_(256) {}

RegisterHandler *RegisterWindow::HandlerFor(uint8_t reg) const {
  RegisterHandler *handler = handlers_[bank_];
  return handler && handler->Handles(reg) ? handler : nullptr;
}

uint8_t RegisterWindow::Read(uint8_t reg) {
  if (reg == kBankSelect)
    return bank_;
  if (RegisterHandler *handler = HandlerFor(reg))
    return handler->Read(reg);
  return storage_[bank_][reg];
}

void RegisterWindow::Write(uint8_t reg, uint8_t value) {
  if (reg == kBankSelect) {
    bank_ = value;
    return;
  }
  if (RegisterHandler *handler = HandlerFor(reg)) {
    handler->Write(reg, value);
    return;
  }
  storage_[bank_][reg] = value;
}

void RegisterWindow::Attach(uint8_t bank, RegisterHandler &handler) {
  handlers_[bank] = &handler;
}

void RegisterWindow::Reset() {
  for (auto &bank : storage_)
    bank.fill(0);
  bank_ = 0;
}

} // namespace orvane::sim
