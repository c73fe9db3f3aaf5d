#pragma once

// The host part table's way of writing a simulated part, for the
// simulator's ideal-update model, which must not restate the host's rules.

#include "isp/FlashParts.h"
#include "sim/IdealUpdateTime.h"

namespace orvane {

inline sim::HostWriting HostWritingFor(const sim::FlashPartProfile &part) {
  const FlashPart &row = FlashPartFor(part.jedecId);
  return {row.chunkBytes, row.mode == ProgramMode::Word};
}

} // namespace orvane
