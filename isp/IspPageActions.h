#pragma once

#include "isp/FlashWorkers.h"
#include "isp/IspView.h"

#include <string>

namespace orvane {

// "0xC2,  0x20,  0x15,  ": each identifier byte followed by a comma and two blanks.
std::string ChipIdText(const std::array<uint8_t, 3> &id);

// The span the Blank Check, Program and Verify buttons work on: with "All"
// the image from address 0, with "Assign Range" the image from RangeStart.
struct IspSpan {
  uint32_t start;
  uint32_t end;
  uint32_t imageBase;
};
IspSpan ButtonSpan(bool assignedRange, const FlashState &flash, const ImageRecord &image);

enum class IspStep { BlankCheck, Program, Verify };

// One of the three step buttons: opens the device, runs the worker over the
// span with the page's texts, closes. Program chooses the chunk size from
// the identifier first when no sequence has chosen one yet.
bool RunIspStep(IspStep step, ChipCommands &chip, const ImageRecord &image, FlashState &flash, IspView &view,
                const IspSpan &span);

} // namespace orvane
