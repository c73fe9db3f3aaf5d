#include "isp/FlashEvents.h"

#include "isp/HexText.h"

namespace orvane {

std::string BlockAddressText(FlashPhase phase, uint32_t address) {
  switch (phase) {
  case FlashPhase::BlankCheck:
    return "Blanking Addr: 0x" + Hex6(address);
  case FlashPhase::Verify:
  case FlashPhase::ReadBack:
    return "Verifying Addr: 0x" + Hex6(address);
  case FlashPhase::StatusClear:
  case FlashPhase::Erase:
  case FlashPhase::Program:
  case FlashPhase::Protect:
  case FlashPhase::Leave:
    break;
  }
  return "0x" + Hex6(address);
}

std::string WalkFailureText(FlashPhase phase, uint32_t address) {
  return (phase == FlashPhase::BlankCheck ? "Blanking Fail at 0x" : "Verifying Fail at 0x") + Hex6(address);
}

std::string EraseProgressText(const std::string &prefix, int poll) {
  return prefix + std::string(static_cast<size_t>((poll / 20) % 10), '.');
}

} // namespace orvane
