#pragma once

#include <QIcon>

namespace orvane {

// The program's icon, the one the desktop's menu shows, in the sizes task
// bars and title bars ask for.
QIcon ProgramIcon();

} // namespace orvane
