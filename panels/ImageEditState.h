#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orvane {

// State of the image editing page.
struct ImageEditState {
  std::string ModifyFileName;
  std::string SaveFilePath;
  std::vector<uint8_t> ModifyBuffer = std::vector<uint8_t>(0x40000, 0xFF);
};

} // namespace orvane
