#pragma once

#include "panels/MonitorFlags.h"

#include <QString>

class QWidget;

namespace orvane {

// A line at the foot of the window saying what it refused to do, such as
// closing while the flash is being written. It stays while a device action
// runs and for a few seconds after, so that it can be read.
void ShowBusyNotice(QWidget &window, const MonitorFlags &flags, const QString &text);
// The height the notice takes at the window's foot: the window's other
// contents keep above it.
int BusyNoticeRoom();

} // namespace orvane
