#pragma once

#include <array>
#include <cstdint>

namespace orvane {

// What the register page keeps for the whole run.
struct RegisterPanelState {
  // The last value read from or written to each register of the window,
  // whatever bank it came from.
  std::array<uint8_t, 256> shadow{};
  // "Read Bank" is under way (the button's tag 1); clearing it stops the
  // read before its next register.
  bool reading = false;
};

} // namespace orvane
