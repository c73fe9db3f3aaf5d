#pragma once

#include "panels/ParameterMailbox.h"
#include "usb/ChipCommands.h"

namespace orvane {

// The parameter mailbox of the real chip.
class ChipParameterMailbox final : public ParameterMailbox {
public:
  explicit ChipParameterMailbox(ChipCommands &chip) : chip_(chip) {}
  bool ParameterTransfer(uint8_t command, uint8_t subCommand, uint8_t argument, uint8_t count, uint8_t *data) override {
    return chip_.ParameterTransfer(command, subCommand, argument, count, data);
  }

private:
  ChipCommands &chip_;
};

} // namespace orvane
