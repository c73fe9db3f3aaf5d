#pragma once

#include <string>
#include <vector>

namespace orvane {

// RememberImageFileName: the drop-down list of file names keeps each name
// once, in the order first used (exact, case-sensitive comparison). True
// when name was appended.
bool RememberImageFileName(std::vector<std::string> &items, const std::string &name);

} // namespace orvane
