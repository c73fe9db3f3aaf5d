#include "sim/ReplugAfterUnplug.h"

namespace orvane::sim {

bool ReplugAfterUnplug::Present() const {
  if (chip_.Present()) {
    goneSinceUs_.reset();
    return true;
  }
  const uint64_t now = chip_.Time().Source().NowUs();
  if (!goneSinceUs_)
    goneSinceUs_ = now;
  if (now - *goneSinceUs_ < afterUs_)
    return false;
  goneSinceUs_.reset();
  chip_.Replug();
  return chip_.Present();
}

} // namespace orvane::sim
