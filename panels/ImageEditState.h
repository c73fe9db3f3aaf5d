#pragma once

#include "isp/ImageRecord.h"

#include <cstdint>
#include <string>
#include <vector>

namespace orvane {

// Which of the image editing page's controls are unlocked. Each goes from
// locked to unlocked once and stays so for the run.
struct ImageEditEnables {
  bool check = false;    // btnCheck: after the first file chosen
  bool settings = false; // GroupBox9: after the first marker found
  bool newFile = false;  // btnSaveBitBin: after the first marker found by "Current File"
  bool save = false;     // btnSaveBin: after the first output name chosen
};

// State of the image editing page.
struct ImageEditState {
  std::string ModifyFileName;
  std::string SaveFilePath;
  std::vector<uint8_t> ModifyBuffer = std::vector<uint8_t>(kImageBufferSize, 0x00);
  uint32_t ModifyLength = 0; // meaningful bytes of ModifyBuffer; bounds the marker search
  ImageEditEnables enables;
};

} // namespace orvane
