#include "isp/ImageFileOpen.h"

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
    const std::filesystem::path path = PathFromUtf8(name);
    std::error_code error;
    if (name.empty() || std::filesystem::is_directory(path, error))
      return false;
    in.open(path, std::ios::in | std::ios::binary);
    return in.is_open();
  } catch (const std::exception &) {
    // A name the platform cannot encode cannot be opened either.
    return false;
  }
}

} // namespace orvane
