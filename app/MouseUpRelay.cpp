#include "app/MouseUpRelay.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QEvent>

namespace orvane {

MouseUpRelay::MouseUpRelay(QObject *parent, Handler handler) : QObject(parent), handler_(std::move(handler)) {}

void MouseUpRelay::Watch(QAbstractButton &button) {
  button.installEventFilter(this);
}

bool MouseUpRelay::eventFilter(QObject *watched, QEvent *event) {
  if (event->type() != QEvent::MouseButtonRelease || delivering_)
    return QObject::eventFilter(watched, event);
  // Let the button take the release first, then report it.
  delivering_ = true;
  QCoreApplication::sendEvent(watched, event);
  delivering_ = false;
  handler_(watched);
  return true;
}

} // namespace orvane
