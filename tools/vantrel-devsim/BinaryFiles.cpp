#include "BinaryFiles.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace orvane::devsim {

namespace {
struct FileCloser {
  void operator()(std::FILE *file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;
} // namespace

std::optional<std::vector<uint8_t>> ReadBinaryFile(const std::string &path, size_t maxBytes, std::string *error) {
  FilePtr file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    *error = "cannot open " + path + ": " + std::strerror(errno);
    return std::nullopt;
  }
  std::vector<uint8_t> bytes;
  uint8_t chunk[4096];
  size_t n = 0;
  while ((n = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) {
    if (bytes.size() + n > maxBytes) {
      *error = path + " holds more than the flash's " + std::to_string(maxBytes) + " bytes";
      return std::nullopt;
    }
    bytes.insert(bytes.end(), chunk, chunk + n);
  }
  if (std::ferror(file.get())) {
    *error = "cannot read " + path;
    return std::nullopt;
  }
  return bytes;
}

bool WriteWholeFile(const std::string &path, const void *bytes, size_t count, std::string *error) {
  const std::string temporary = path + ".part";
  FilePtr file(std::fopen(temporary.c_str(), "wb"));
  if (!file) {
    *error = "cannot write " + temporary + ": " + std::strerror(errno);
    return false;
  }
  const bool written = std::fwrite(bytes, 1, count, file.get()) == count;
  const bool closed = std::fclose(file.release()) == 0;
  if (!written || !closed || std::rename(temporary.c_str(), path.c_str()) != 0) {
    *error = "cannot write " + path + ": " + std::strerror(errno);
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

} // namespace orvane::devsim
