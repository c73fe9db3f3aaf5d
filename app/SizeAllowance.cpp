#include "app/SizeAllowance.h"

namespace orvane {

int SizeAllowance(int logicalDpiX) {
  return logicalDpiX < 120 ? 0 : 140;
}

} // namespace orvane
