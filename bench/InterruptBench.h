#pragma once

#include "sim/FlashPartProfile.h"

#include <string>
#include <vector>

namespace orvane::bench {

// A full-size update cut at one transfer after another, the device power
// cycled after each cut, then a second, unattended run of the command-line
// updater without --file: what the device came up as, and whether the
// second run brought it to the image.
struct InterruptFigures {
  std::string part;
  std::string cut;                 // "unplug" (after the transfer) or "power loss" (the transfer itself cut)
  int runs = 0;                    // cuts tried
  int partialImage = 0;            // came up starting a partial image: a device no USB tool reaches
  int updateMode = 0;              // came up in update mode
  int oldFirmware = 0;             // came up with the firmware it had before
  int broughtBack = 0;             // the second run brought its flash to the image
  std::vector<uint64_t> partialAt; // the transfers whose cut left a partial image

  bool Kept() const { return partialImage == 0 && broughtBack == runs; }
};

// cuts: how many transfers, evenly spread over the update, are cut, on top
// of the first transfer of every step. scratch: a folder for the update
// file and the records.
std::vector<InterruptFigures> InterruptedUpdates(const sim::FlashPartProfile &part, int cuts,
                                                 const std::string &scratch);

std::string InterruptTable(const std::vector<InterruptFigures> &figures);

} // namespace orvane::bench
