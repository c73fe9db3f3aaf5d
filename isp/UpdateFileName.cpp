#include "isp/UpdateFileName.h"

#include "isp/ImageFileOpen.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace orvane {

std::string FoldedFileName(std::string text) {
  for (char &c : text)
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  return text;
}

std::vector<std::string> UpdateFileNamesLike(const std::string &directory, const std::string &name) {
  std::error_code error;
  const std::filesystem::path folder = PathFromUtf8(directory);
  if (std::filesystem::symlink_status(folder / PathFromUtf8(name), error).type() !=
      std::filesystem::file_type::not_found)
    return {name};
  std::vector<std::string> matches;
  const std::string wanted = FoldedFileName(name);
  for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end; entry.increment(error)) {
    const std::string candidate = Utf8FromPath(entry->path().filename());
    if (FoldedFileName(candidate) == wanted)
      matches.push_back(candidate);
  }
  std::sort(matches.begin(), matches.end());
  return matches;
}

} // namespace orvane
