#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orvane {

inline constexpr uint32_t kImageBufferSize = 0x40000; // 262,144 bytes

// The firmware image in memory, replaced as a whole by each load.
struct ImageRecord {
  std::vector<uint8_t> ImageBuffer = std::vector<uint8_t>(kImageBufferSize, 0xFF);
  uint32_t ImageLength = 0;
  std::string ImageFileName;
  bool ImageReady = false;
  bool UpdateFileLoaded = false;
};

// Makes buffer a whole image of value bytes (0xFF reads as erased flash).
void FillImageBuffer(std::vector<uint8_t> &buffer, uint8_t value);

// The 16-bit additive checksum of the first length bytes, gaps included.
uint16_t ImageChecksum(const std::vector<uint8_t> &buffer, uint32_t length);

} // namespace orvane
