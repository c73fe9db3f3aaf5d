#pragma once

#include "isp/FlashParts.h"

#include <array>
#include <cstdint>

namespace orvane {

// Flash programming state shared by the ISP page and the update sequences.
struct FlashState {
  bool IspModeActive = false;
  uint32_t RangeStart = 0;
  uint32_t RangeSize = 0;
  uint16_t ProgramChunkSize = 0; // 0 until a sequence (or Program) has chosen
  bool WordProgramMode = false;
  // The part table's row for the identifier the chunk size and program
  // mode were chosen from; the protection follows it.
  FlashPart Part = kUnknownFlashPart;
  bool IspFailed = false;
  // The user asked the running engineering sequence to stop; it looks
  // between its steps.
  bool StopRequested = false;
  std::array<uint8_t, 3> FlashId{};
  // Clock time (microseconds) at which the running update gives up; 0 for none.
  uint64_t DeadlineUs = 0;
};

} // namespace orvane
