#pragma once

#include <string>

namespace orvane {

// The system's text for an errno value. Unlike strerror it shares no
// buffer, so device threads may call it at the same time.
std::string ErrnoText(int error);

} // namespace orvane
