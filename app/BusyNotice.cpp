#include "app/BusyNotice.h"

#include <QDeadlineTimer>
#include <QLabel>
#include <QTimer>
#include <QWidget>

namespace orvane {

namespace {
constexpr int kCheckMs = 250;
constexpr int kAtLeastMs = 4000;
constexpr int kMargin = 16;
constexpr int kHeight = 18;
constexpr int kBottomMargin = 6;
constexpr int kTextPixels = 12;
const char *const kName = "lblBusyNotice";
} // namespace

int BusyNoticeRoom() {
  return kHeight + kBottomMargin;
}

void ShowBusyNotice(QWidget &window, const MonitorFlags &flags, const QString &text) {
  auto *notice = window.findChild<QLabel *>(kName, Qt::FindDirectChildrenOnly);
  if (!notice) {
    notice = new QLabel(&window);
    notice->setObjectName(kName);
    QPalette colours = notice->palette();
    colours.setColor(QPalette::WindowText, QColor(255, 0, 0));
    notice->setPalette(colours);
    QFont font = notice->font();
    font.setPixelSize(kTextPixels);
    notice->setFont(font);
    auto *check = new QTimer(notice);
    check->setObjectName("BusyNoticeTimer");
    check->setInterval(kCheckMs);
    QObject::connect(check, &QTimer::timeout, notice, [notice, check, &flags] {
      const auto shownUntil = notice->property("shownUntil").value<qint64>();
      if (flags.ActionRunning || flags.Busy || QDeadlineTimer::current().deadline() < shownUntil)
        return;
      notice->hide();
      check->stop();
    });
  }
  notice->setText(text);
  notice->setToolTip(text);
  notice->setGeometry(kMargin, window.height() - kHeight - kBottomMargin, window.width() - 2 * kMargin, kHeight);
  notice->setProperty("shownUntil", QDeadlineTimer(kAtLeastMs).deadline());
  notice->show();
  notice->raise();
  notice->findChild<QTimer *>("BusyNoticeTimer")->start();
}

} // namespace orvane
