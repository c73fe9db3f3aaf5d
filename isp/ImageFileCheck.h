#pragma once

#include <cstdint>
#include <string>

namespace orvane {

// Large enough for the HEX text of a whole image written one byte per
// record, far too small to stall the window.
inline constexpr uintmax_t kMaxImageFileBytes = 8 * 1024 * 1024;

// Whether a file may be read as an image: only regular files (or links to
// them) of at most maxBytes. A FIFO, a device such as /dev/zero or a
// directory would block the reader or never end, so they are refused
// before anything opens them. Empty when the file may be read; otherwise
// why not, as a phrase ("the file is not a regular file").
std::string ImageFileRefusal(const std::string &name, uintmax_t maxBytes = kMaxImageFileBytes);

} // namespace orvane
