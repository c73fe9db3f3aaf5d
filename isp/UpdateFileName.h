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
std::vector<std::string> UpdateFileNamesLike(const std::string &directory, const std::string &name);

} // namespace orvane
