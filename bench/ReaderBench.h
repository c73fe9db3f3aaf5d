#pragma once

#include <cstdint>
#include <string>

namespace orvane::bench {

struct ReaderFigures {
  std::string reader; // "hex" or "binary"
  uint32_t imageBytes = 0;
  uint64_t fileBytes = 0;
  int runs = 0;
  uint64_t medianNs = 0;
  uint64_t fastestNs = 0;
  bool loaded = false; // every run loaded the image byte for byte
};

// Loads a sample image of imageBytes written to a file in directory, runs times.
ReaderFigures TimeHexReader(const std::string &directory, uint32_t imageBytes, int runs);
ReaderFigures TimeBinaryReader(const std::string &directory, uint32_t imageBytes, int runs);

} // namespace orvane::bench
