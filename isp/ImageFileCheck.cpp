#include "isp/ImageFileCheck.h"

#include "isp/ImageFileOpen.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace orvane {

std::string ImageFileRefusal(const std::string &name, uintmax_t maxBytes) {
  if (name.empty())
    return "no file is named";
  std::filesystem::path path;
  try {
    path = PathFromUtf8(name);
  } catch (const std::exception &) {
    return "the name cannot be encoded for this system";
  }
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(path, error);
  if (status.type() == std::filesystem::file_type::not_found)
    return "the file does not exist";
  if (error)
    return "the file cannot be examined: " + error.message();
  if (status.type() == std::filesystem::file_type::directory)
    return "it is a directory, not a file";
  if (status.type() != std::filesystem::file_type::regular)
    return "it is not a regular file (a device, pipe or socket is never read)";
  const uintmax_t size = std::filesystem::file_size(path, error);
  if (error)
    return "the file cannot be examined: " + error.message();
  if (size > maxBytes)
    return "the file is larger than " + std::to_string(maxBytes) + " bytes";
  return {};
}

} // namespace orvane
