#include "panels/DefaultImage.h"

namespace orvane {
namespace {

constexpr std::array<uint8_t, 8> kLeadIn{0x02, 0x5D, 0x47, 0xE0, 0xF0, 0x27, 0xFF, 0x05};
constexpr size_t kPatternEnd = 30720; // the last 2,048 bytes stay zero

// This image is our own: it carries no firmware of any device. It starts
// with the fixed eight lead-in bytes; after them come the low bytes of a
// 16-bit Galois LFSR (feedback 0xB400, seed 0xACE1), one step per byte, up
// to offset 30,720, and zeros from there to the end. The pattern is only
// meant to be fixed and easy to tell apart from erased flash and from any
// loaded file; it holds no parameter table marker.
std::array<uint8_t, kDefaultImageBytes> GenerateDefaultImage() {
  std::array<uint8_t, kDefaultImageBytes> image{};
  size_t offset = 0;
  for (uint8_t byte : kLeadIn)
    image[offset++] = byte;
  uint16_t lfsr = 0xACE1;
  for (; offset < kPatternEnd; ++offset) {
    const bool out = lfsr & 1u;
    lfsr = static_cast<uint16_t>(lfsr >> 1);
    if (out)
      lfsr ^= 0xB400;
    image[offset] = static_cast<uint8_t>(lfsr & 0xFF);
  }
  return image;
}

} // namespace

const std::array<uint8_t, kDefaultImageBytes> &DefaultImage() {
  static const std::array<uint8_t, kDefaultImageBytes> image = GenerateDefaultImage();
  return image;
}

} // namespace orvane
