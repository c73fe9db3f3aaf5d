#pragma once

#include "panels/MonitorFlags.h"
#include "panels/RegisterPanelState.h"
#include "usb/ChipCommands.h"

#include <array>
#include <cstdint>
#include <string>

namespace orvane {

// What the register page changes in the window.
class RegisterPanelView {
public:
  virtual ~RegisterPanelView() = default;
  // The grid cell of register address (column address % 16 + 1, row address / 16 + 1).
  virtual void ShowCell(uint8_t address, uint8_t value) = 0;
  virtual void ShowBits(uint8_t value) = 0;              // chkBit0 … chkBit7
  virtual void ShowAddress(const std::string &text) = 0; // lblRegAddr
  virtual void ShowData(const std::string &text) = 0;    // lblRegData
  virtual void ShowReading(bool reading) = 0;            // btnReadAll: "Stop" and tag 1 while reading
  virtual void ProcessMessages() = 0;
};

// The register page: reads a whole bank, reads the register of a selected
// cell, and writes a register from typed text, a step key or the bit boxes,
// reading every written register back. Each action opens and closes the
// device itself and does nothing while another device action runs.
// A read that fails leaves the register's last known value in place.
class RegisterPanel {
public:
  static constexpr uint32_t kKeyWriteSettleMs = 1;
  static constexpr uint32_t kBitWriteSettleMs = 3;

  RegisterPanel(ChipCommands &chip, MonitorFlags &flags, RegisterPanelState &state, RegisterPanelView &view)
      : chip_(chip), flags_(flags), state_(state), view_(view) {}

  // "Read Bank", or "Stop" while a read is under way.
  void ReadBank();
  void SelectRegister(uint8_t address);
  // Enter in a cell: the text is hexadecimal digits without prefix; only
  // its low byte is written. Throws ConvertError and writes nothing when
  // "0x" + text is no integer.
  void EnterValue(uint8_t address, const std::string &cellText);
  // Insert (up) and Delete (down); nothing at 0xFF and 0x00.
  void StepUp(uint8_t address);
  void StepDown(uint8_t address);
  // The eight bit boxes as they stand after a click, bit 0 first.
  void WriteBits(uint8_t address, const std::array<bool, 8> &bits);

  uint8_t Shadow(uint8_t address) const { return state_.shadow[address]; }

private:
  void ReadInto(uint8_t address);
  // Writes, waits settleMs and reads back; the shadow follows what the
  // device took and then what it answered.
  void WriteAndReadBack(uint8_t address, uint8_t value, uint32_t settleMs);
  void ShowValue(uint8_t address);

  ChipCommands &chip_;
  MonitorFlags &flags_;
  RegisterPanelState &state_;
  RegisterPanelView &view_;
};

} // namespace orvane
