#pragma once

#include "isp/ImageFileKind.h"
#include "isp/ImageRecord.h"

#include <cstdint>
#include <string>
#include <vector>

namespace orvane {

// What a reader run did. A refused file leaves ImageBuffer and ImageLength
// exactly as they were.
struct ImageLoadResult {
  bool loaded = false;
  uint16_t checksum = 0; // of ImageBuffer[0, ImageLength) after the load
  std::string error;     // why the file was refused; empty when loaded
};

// Each reader builds the new image in a buffer of its own, filled with 0xFF
// so that bytes the file does not supply read as erased flash, and replaces
// ImageBuffer and ImageLength only when the whole file is good.
// ImageFileName, ImageReady and UpdateFileLoaded are left to the caller.

// Raw binary: the file's bytes are the image from address 0. An empty file,
// a file longer than the image buffer and a file of text (Intel HEX text
// above all, see TextImageRefusal) are refused.
ImageLoadResult LoadBinaryImage(ImageRecord &image, const std::string &path);

// Intel HEX text (see ParseIntelHex). ImageLength is one past the highest
// address written and the checksum covers the gaps as 0xFF bytes.
ImageLoadResult LoadHexImage(ImageRecord &image, const std::string &path);

// The same readers on a file already read whole (ReadImageFile).
ImageLoadResult LoadImageBytes(ImageRecord &image, const std::vector<uint8_t> &bytes, ImageFileKind kind);

// Chooses the reader by ImageFileKindOf(path); a name of neither kind loads nothing.
ImageLoadResult LoadImageFile(ImageRecord &image, const std::string &path);

} // namespace orvane
