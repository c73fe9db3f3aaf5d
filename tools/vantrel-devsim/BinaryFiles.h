#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orvane::devsim {

// The whole file, refused (with a message) when it cannot be read or holds more than maxBytes.
std::optional<std::vector<uint8_t>> ReadBinaryFile(const std::string &path, size_t maxBytes, std::string *error);
// Writes through a temporary name and renames, so a reader never sees half a file.
bool WriteWholeFile(const std::string &path, const void *bytes, size_t count, std::string *error);

} // namespace orvane::devsim
