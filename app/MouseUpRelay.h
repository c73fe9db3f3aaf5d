#pragma once

#include <QObject>

#include <functional>

class QAbstractButton;

namespace orvane {

// Runs a handler when a mouse button is released on one of the watched
// buttons, after the button has taken the release (a check box is already
// toggled then). Keyboard clicks and states set from code do not run it.
class MouseUpRelay final : public QObject {
  Q_OBJECT

public:
  using Handler = std::function<void(QObject *Sender)>;

  MouseUpRelay(QObject *parent, Handler handler);
  void Watch(QAbstractButton &button);

protected:
  bool eventFilter(QObject *watched, QEvent *event) override;

private:
  Handler handler_;
  bool delivering_ = false;
};

} // namespace orvane
