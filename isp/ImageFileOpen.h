#pragma once

#include <filesystem>
#include <fstream>
#include <string>

namespace orvane {

// Names are kept as UTF-8 text; these turn them into the platform's own
// path encoding and back, so non-ASCII names open on every platform.
std::filesystem::path PathFromUtf8(const std::string &name);
std::string Utf8FromPath(const std::filesystem::path &path);

// The process's current working directory as UTF-8; empty when it cannot be told.
std::string CurrentDirectoryUtf8();

// Opens the named file for binary reading. False when it cannot be opened
// or is no regular file of a readable size (ImageFileRefusal).
bool OpenImageFile(const std::string &name, std::ifstream &in);

} // namespace orvane
