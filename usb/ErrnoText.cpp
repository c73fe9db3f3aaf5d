#include "usb/ErrnoText.h"

#include <cstring>

namespace orvane {

std::string ErrnoText(int error) {
#ifdef _WIN32
  // The Windows C runtime keeps strerror's buffer per thread.
  return std::strerror(error);
#else
  char buffer[256];
  // The GNU strerror_r returns its text, in buffer or in static storage that never changes.
  return ::strerror_r(error, buffer, sizeof buffer);
#endif
}

} // namespace orvane
