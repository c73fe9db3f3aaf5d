#include "isp/ImageFileOpen.h"

#include "isp/ImageFileCheck.h"

namespace orvane {

std::filesystem::path PathFromUtf8(const std::string &name) {
  return std::filesystem::path(std::u8string(name.begin(), name.end()));
}

std::string Utf8FromPath(const std::filesystem::path &path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::string CurrentDirectoryUtf8() {
  std::error_code error;
  const std::filesystem::path directory = std::filesystem::current_path(error);
  return error ? std::string() : Utf8FromPath(directory);
}

bool OpenImageFile(const std::string &name, std::ifstream &in) {
  try {
    // Opening a FIFO would wait for a writer; only regular files are opened.
    if (!ImageFileRefusal(name).empty())
      return false;
    in.open(PathFromUtf8(name), std::ios::in | std::ios::binary);
    return in.is_open();
  } catch (const std::exception &) {
    // A name the platform cannot encode cannot be opened either.
    return false;
  }
}

} // namespace orvane
