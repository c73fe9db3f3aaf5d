#pragma once

#include "sim/FlashPartProfile.h"

#include <cstdint>
#include <string>
#include <vector>

namespace orvane::bench {

// How long the one-button update takes from a fault to its verdict, on the
// virtual clock, against the mark it must keep.
struct VerdictFigures {
  std::string part;
  std::string fault; // "unplug during erase", "wedged", ...
  uint64_t markUs = 0;
  uint64_t toVerdictUs = 0;
  bool expectSuccess = false; // a fault the update must get past
  bool success = false;       // the verdict
  bool flashHoldsImage = false;
  // Another dongle on the bus heard nothing and kept its flash.
  bool othersUntouched = true;
  std::string reason;

  bool Kept() const {
    if (!othersUntouched || toVerdictUs > markUs)
      return false;
    return expectSuccess ? success && flashHoldsImage : !success;
  }
};

// Unplugs during the erase, blank check, program and verify, a device that
// stops answering for good or for seconds, another dongle plugged in after
// an unplug, a chip that never enters ISP mode and a flash that is always
// busy, each in an update of imageBytes on the part.
std::vector<VerdictFigures> TimeToVerdict(const sim::FlashPartProfile &part, uint32_t imageBytes, uint64_t latencyUs);

std::string VerdictTable(const std::vector<VerdictFigures> &figures);

} // namespace orvane::bench
