#pragma once

#include "panels/KeyCodes.h"

namespace orvane::vk {
// The code for a Qt key (Qt::Key value): digits and letters map to their
// upper-case character, F1-F12 to 112-123, the keys in panels/KeyCodes.h
// to their codes; any other key gives 0.
int FromQtKey(int qtKey);
} // namespace orvane::vk
