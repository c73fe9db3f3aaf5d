#include "isp/ImageFileNameList.h"

#include <algorithm>

namespace orvane {

bool RememberImageFileName(std::vector<std::string> &items, const std::string &name) {
  if (std::find(items.begin(), items.end(), name) != items.end())
    return false;
  items.push_back(name);
  return true;
}

} // namespace orvane
