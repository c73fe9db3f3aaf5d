#pragma once

#include "app/Unit1.h"

#include <QStringList>

namespace orvane::testing {

// The parameter page's option controls that are checked, by name, in a
// fixed order (group by group, then the check boxes).
QStringList CheckedParameterOptions(TForm1 &form);

} // namespace orvane::testing
