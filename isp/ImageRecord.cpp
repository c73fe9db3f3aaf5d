#include "isp/ImageRecord.h"

#include <algorithm>

namespace orvane {

void FillImageBuffer(std::vector<uint8_t> &buffer, uint8_t value) {
  buffer.assign(kImageBufferSize, value);
}

uint16_t ImageChecksum(const std::vector<uint8_t> &buffer, uint32_t length) {
  const size_t end = std::min<size_t>(length, buffer.size());
  uint32_t sum = 0;
  for (size_t i = 0; i < end; ++i)
    sum += buffer[i];
  return static_cast<uint16_t>(sum & 0xFFFF);
}

} // namespace orvane
