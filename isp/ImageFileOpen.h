#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace orvane {

// Names are kept as UTF-8 text; these turn them into the platform's own
// path encoding and back, so non-ASCII names open on every platform.
std::filesystem::path PathFromUtf8(const std::string &name);
std::string Utf8FromPath(const std::filesystem::path &path);

// The process's current working directory as UTF-8; empty when it cannot be told.
std::string CurrentDirectoryUtf8();

// Large enough for the HEX text of a whole image written one byte per
// record, far too small to stall the window.
inline constexpr uintmax_t kMaxImageFileBytes = 8 * 1024 * 1024;

// A whole image file as read, or why it was not.
struct ImageFileBytes {
  std::vector<uint8_t> bytes;
  // Why not, as a phrase ("the file is not a regular file"); empty when read.
  std::string refusal;
};

// Opens the named file once, without waiting for a writer and without
// taking it as a terminal, and checks what the open returned: only a
// regular file (or a link to one) of at most maxBytes is read, whole. A
// FIFO, a device such as /dev/zero or a directory would block the reader
// or never end; one swapped in for the file after anything looked at the
// name is refused all the same, as the name is never looked up again.
ImageFileBytes ReadImageFile(const std::string &name, uintmax_t maxBytes = kMaxImageFileBytes);

} // namespace orvane
