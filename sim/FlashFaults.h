#pragma once

#include <cstdint>
#include <vector>

namespace orvane::sim {

// Faults of the serial flash a test can arm: bits that read back wrong,
// and an operation that never finishes.
class FlashFaults {
public:
  // The byte at address reads with mask flipped: on the next read only, or
  // on every read (a stuck cell).
  void FlipOnRead(uint32_t address, uint8_t mask, bool stuck);
  // The next program, erase or status write never leaves busy.
  void HangNextOperation() { hangNext_ = true; }
  void Clear();

  // What the data line carries for a read of the stored value at address.
  uint8_t ReadThrough(uint32_t address, uint8_t stored);
  bool TakeHang();

private:
  struct Flip {
    uint32_t address;
    uint8_t mask;
    bool stuck;
  };
  std::vector<Flip> flips_;
  bool hangNext_ = false;
};

} // namespace orvane::sim
