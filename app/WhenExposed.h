#pragma once

#include <functional>

class QWidget;

namespace orvane {

// Runs action once, from the message loop, when window first shows on the
// screen: a message box opened before the window manager has placed the
// window would open at the screen's corner instead of over it. A window
// that does not show within a few seconds (started minimised) gets the
// action all the same.
void WhenExposed(QWidget &window, std::function<void()> action);

} // namespace orvane
