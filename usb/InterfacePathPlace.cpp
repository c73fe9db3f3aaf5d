#include "usb/InterfacePathPlace.h"

namespace orvane {

std::optional<InterfacePlace> PlaceInInterfacePath(const std::string &path) {
  const size_t ids = path.find('#');
  const size_t instance = ids == std::string::npos ? ids : path.find('#', ids + 1);
  const size_t end = instance == std::string::npos ? instance : path.find('#', instance + 1);
  if (end == std::string::npos || end == instance + 1)
    return std::nullopt;
  return InterfacePlace{path.substr(instance + 1, end - instance - 1), {}};
}

} // namespace orvane
