#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace orvane {

// A decoded picture: rows top to bottom, three bytes (R, G, B) per pixel.
struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;
};

// Pictures larger than this are refused before any pixel memory is taken,
// so a damaged header cannot ask for gigabytes.
inline constexpr int kMaxJpegSide = 4096;

// Decodes a baseline or progressive JPEG held in memory with libjpeg.
// Anything the library complains about (damaged data, a truncated file,
// even a warning) makes the whole picture unusable: nullopt.
std::optional<RgbImage> DecodeJpeg(const uint8_t *data, size_t size);

} // namespace orvane
