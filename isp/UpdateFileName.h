#pragma once

#include <string>
#include <vector>

namespace orvane {

// The entries of directory (UTF-8) that carry name: the exact name when an
// entry of that name exists (also a dangling link or a name that is no
// file, so the caller can say why it cannot be used), else every entry
// whose name differs only in the case of its ASCII letters, in sorted
// order. Files unpacked from archives made on other systems come as
// ORVANE_R62.HEX.
// text with its ASCII letters in lower case, for comparing file names and
// extensions the way case-insensitive file systems do.
std::string FoldedFileName(std::string text);

std::vector<std::string> UpdateFileNamesLike(const std::string &directory, const std::string &name);

} // namespace orvane
