#include "panels/RegisterPanel.h"

#include "isp/HexText.h"
#include "panels/ConvertError.h"
#include "panels/DeviceActionGuard.h"
#include "usb/DeviceSession.h"

namespace orvane {

namespace {

constexpr int kGridSide = 16;

// Ends a bank read however the loop is left: device closed, button idle.
class BankReadScope {
public:
  BankReadScope(ChipCommands &chip, RegisterPanelState &state, RegisterPanelView &view)
      : session_(chip), state_(state), view_(view) {
    state_.reading = true;
    view_.ShowReading(true);
  }
  ~BankReadScope() {
    session_.End();
    state_.reading = false;
    view_.ShowReading(false);
  }
  BankReadScope(const BankReadScope &) = delete;
  BankReadScope &operator=(const BankReadScope &) = delete;

  DeviceSession &Session() { return session_; }

private:
  DeviceSession session_;
  RegisterPanelState &state_;
  RegisterPanelView &view_;
};

uint8_t ValueOfBits(const std::array<bool, 8> &bits) {
  uint8_t value = 0;
  for (int bit = 0; bit < 8; ++bit)
    if (bits[static_cast<size_t>(bit)])
      value = static_cast<uint8_t>(value | (1u << bit));
  return value;
}

} // namespace

void RegisterPanel::ReadBank() {
  // Stop works even when the device has gone meanwhile.
  if (state_.reading) {
    state_.reading = false;
    view_.ShowReading(false);
    return;
  }
  if (!chip_.Usb().IsFound())
    return;
  const DeviceActionGuard guard(flags_);
  if (!guard)
    return;
  BankReadScope scope(chip_, state_, view_);
  // A device that could not be opened reads nothing: every cell keeps its
  // last known value, as after failed reads.
  if (!scope.Session().Begin())
    return;
  for (int row = 0; row < kGridSide; ++row) {
    for (int col = 0; col < kGridSide; ++col) {
      // A click on "Stop" reaches ReadBank through ProcessMessages.
      if (!state_.reading)
        return;
      const auto address = static_cast<uint8_t>(row * kGridSide + col);
      ReadInto(address);
      view_.ShowCell(address, state_.shadow[address]);
      view_.ProcessMessages();
    }
  }
}

void RegisterPanel::SelectRegister(uint8_t address) {
  view_.ShowAddress("Reg 0x" + Hex2(address));
  {
    // While another action holds the device the register keeps its last
    // known value, as after a failed read.
    const DeviceActionGuard guard(flags_);
    DeviceSession session(chip_);
    if (guard && session.Begin())
      ReadInto(address);
  }
  view_.ShowCell(address, state_.shadow[address]);
  view_.ShowBits(state_.shadow[address]);
  view_.ShowData("= 0x" + Hex2(state_.shadow[address]));
}

void RegisterPanel::EnterValue(uint8_t address, const std::string &cellText) {
  const DeviceActionGuard guard(flags_);
  if (!guard) {
    // Nothing was written: the cell shows again what the register holds.
    ShowValue(address);
    return;
  }
  const auto value = static_cast<uint8_t>(StrToInt("0x" + cellText));
  WriteAndReadBack(address, value, kKeyWriteSettleMs);
  ShowValue(address);
}

void RegisterPanel::StepUp(uint8_t address) {
  const DeviceActionGuard guard(flags_);
  if (!guard) {
    ShowValue(address);
    return;
  }
  if (state_.shadow[address] == 0xFF)
    return;
  WriteAndReadBack(address, static_cast<uint8_t>(state_.shadow[address] + 1), kKeyWriteSettleMs);
  ShowValue(address);
}

void RegisterPanel::StepDown(uint8_t address) {
  const DeviceActionGuard guard(flags_);
  if (!guard) {
    ShowValue(address);
    return;
  }
  if (state_.shadow[address] == 0x00)
    return;
  WriteAndReadBack(address, static_cast<uint8_t>(state_.shadow[address] - 1), kKeyWriteSettleMs);
  ShowValue(address);
}

void RegisterPanel::WriteBits(uint8_t address, const std::array<bool, 8> &bits) {
  const DeviceActionGuard guard(flags_);
  if (!guard) {
    // The click changed a box; show again what the register holds.
    view_.ShowBits(state_.shadow[address]);
    return;
  }
  WriteAndReadBack(address, ValueOfBits(bits), kBitWriteSettleMs);
  ShowValue(address);
  view_.ShowAddress("Reg 0x" + Hex2(address));
  view_.ShowData("= 0x" + Hex2(state_.shadow[address]));
}

void RegisterPanel::ReadInto(uint8_t address) {
  uint8_t value = 0;
  if (chip_.ReadRegister(address, value))
    state_.shadow[address] = value;
}

void RegisterPanel::WriteAndReadBack(uint8_t address, uint8_t value, uint32_t settleMs) {
  // A device that could not be opened takes no value: the register keeps
  // its last known one, as after a failed write.
  DeviceSession session(chip_);
  if (!session.Begin())
    return;
  if (chip_.WriteRegister(address, value))
    state_.shadow[address] = value;
  chip_.Time().SleepMs(settleMs);
  ReadInto(address);
}

void RegisterPanel::ShowValue(uint8_t address) {
  view_.ShowCell(address, state_.shadow[address]);
  view_.ShowBits(state_.shadow[address]);
}

} // namespace orvane
