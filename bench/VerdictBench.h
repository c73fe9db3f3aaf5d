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
  bool success = false; // the verdict: every fault here must end in Fail
  std::string reason;

  bool Kept() const { return !success && toVerdictUs <= markUs; }
};

// Unplugs during the erase, blank check, program and verify, a device that
// stops answering, a chip that never enters ISP mode and a flash that is
// always busy, each in an update of imageBytes on the part.
std::vector<VerdictFigures> TimeToVerdict(const sim::FlashPartProfile &part, uint32_t imageBytes, uint64_t latencyUs);

std::string VerdictTable(const std::vector<VerdictFigures> &figures);

} // namespace orvane::bench
