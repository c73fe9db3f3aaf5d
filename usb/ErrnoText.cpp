#include "usb/ErrnoText.h"

#include <cstring>

namespace orvane {

std::string ErrnoText(int error) {
  char buffer[256];
  // The GNU strerror_r returns its text, in buffer or in static storage that never changes.
  return ::strerror_r(error, buffer, sizeof buffer);
}

} // namespace orvane
