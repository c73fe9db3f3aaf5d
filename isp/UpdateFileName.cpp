#include "isp/UpdateFileName.h"

#include "isp/ImageFileOpen.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

namespace orvane {

namespace {
std::string Folded(std::string text) {
  for (char &c : text)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}
} // namespace

std::vector<std::string> UpdateFileNamesLike(const std::string &directory, const std::string &name) {
  std::error_code error;
  const std::filesystem::path folder = PathFromUtf8(directory);
  if (std::filesystem::symlink_status(folder / PathFromUtf8(name), error).type() !=
      std::filesystem::file_type::not_found)
    return {name};
  std::vector<std::string> matches;
  const std::string wanted = Folded(name);
  for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end; entry.increment(error)) {
    const std::string candidate = Utf8FromPath(entry->path().filename());
    if (Folded(candidate) == wanted)
      matches.push_back(candidate);
  }
  std::sort(matches.begin(), matches.end());
  return matches;
}

} // namespace orvane
