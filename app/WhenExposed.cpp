#include "app/WhenExposed.h"

#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <memory>

namespace orvane {

namespace {

constexpr int kLongestWaitMs = 3000;

// Runs its action once, at the first of the window's expose or the time-out.
class ExposeWatch final : public QObject {
public:
  ExposeWatch(QWidget &window, std::function<void()> action) : QObject(&window), action_(std::move(action)) {
    auto *late = new QTimer(this);
    late->setSingleShot(true);
    connect(late, &QTimer::timeout, this, &ExposeWatch::Run);
    late->start(kLongestWaitMs);
    QWindow *handle = window.windowHandle();
    if (handle && !handle->isExposed())
      handle->installEventFilter(this);
    else
      QTimer::singleShot(0, this, &ExposeWatch::Run);
  }

protected:
  bool eventFilter(QObject *watched, QEvent *event) override {
    if (event->type() == QEvent::Expose && static_cast<QWindow *>(watched)->isExposed())
      QTimer::singleShot(0, this, &ExposeWatch::Run); // after the expose has been handled
    return QObject::eventFilter(watched, event);
  }

private:
  void Run() {
    if (!action_)
      return;
    const std::function<void()> action = std::move(action_);
    action_ = nullptr;
    deleteLater();
    action();
  }

  std::function<void()> action_;
};

} // namespace

void WhenExposed(QWidget &window, std::function<void()> action) {
  new ExposeWatch(window, std::move(action));
}

} // namespace orvane
