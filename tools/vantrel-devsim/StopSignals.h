#pragma once

#include <atomic>

namespace orvane::devsim {

// SIGINT and SIGTERM set the returned flag and do nothing else; the server
// loop looks at it and shuts down in an orderly way.
const std::atomic<bool> &InstallStopSignals();

} // namespace orvane::devsim
