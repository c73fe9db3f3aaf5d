#include "WindowTestSupport.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>

#include <algorithm>

namespace orvane::testing {
namespace {

QString Rect(const QRect &r) {
  return QString("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

QString ControlState(QWidget *w) {
  QString s;
  if (auto *label = qobject_cast<QLabel *>(w))
    s += " text=[" + label->text() + "]";
  if (auto *button = qobject_cast<QAbstractButton *>(w))
    s += " text=[" + button->text() + "] checked=" + QString::number(button->isChecked());
  if (auto *edit = qobject_cast<QLineEdit *>(w))
    s += " text=[" + edit->text() + "]";
  if (auto *combo = qobject_cast<QComboBox *>(w))
    s += " text=[" + combo->currentText() + "] items=" + QString::number(combo->count());
  if (auto *scroll = qobject_cast<QScrollBar *>(w))
    s += " value=" + QString::number(scroll->value());
  if (auto *grid = qobject_cast<QTableWidget *>(w)) {
    for (int row = 0; row < grid->rowCount(); ++row)
      for (int col = 0; col < grid->columnCount(); ++col)
        if (auto *item = grid->item(row, col))
          s += " " + item->text();
    s += QString(" current=%1,%2").arg(grid->currentColumn()).arg(grid->currentRow());
  }
  if (auto *pages = qobject_cast<QTabWidget *>(w)) {
    s += " current=" + QString::number(pages->currentIndex()) + " tabs=";
    for (int i = 0; i < pages->count(); ++i)
      s += pages->isTabVisible(i) ? "1" : "0";
  }
  return s;
}

std::unique_ptr<StartedWindow> Shown(std::unique_ptr<StartedWindow> started) {
  started->form.show();
  if (!QTest::qWaitForWindowExposed(&started->form))
    return nullptr;
  return started;
}

} // namespace

std::unique_ptr<StartedWindow> ShowStartedWindow(DeviceBus *bus) {
  return Shown(bus ? std::make_unique<StartedWindow>(*bus) : std::make_unique<StartedWindow>());
}

std::unique_ptr<StartedWindow> ShowStartedWindow(SimulatedDeviceStack &devices) {
  return Shown(std::make_unique<StartedWindow>(devices));
}

QStringList DescribeWindow(TForm1 &form) {
  QStringList lines;
  lines << "window [" + form.windowTitle() + "] " + Rect(QRect(QPoint(), form.size()));
  for (QWidget *w : form.findChildren<QWidget *>()) {
    // Only the form's controls, not the toolkit's own parts of them.
    if (w->objectName().isEmpty() || w->objectName().startsWith("qt_") || qobject_cast<QTabBar *>(w->parentWidget()))
      continue;
    // Pages are placed by their page control's layout whenever it is shown.
    const bool placedByLayout = qobject_cast<QStackedWidget *>(w->parentWidget()) != nullptr;
    lines << w->objectName() + " " + w->metaObject()->className() + " " +
                 (placedByLayout ? QString("page") : Rect(w->geometry())) +
                 " hidden=" + QString::number(w->isHidden()) + " enabled=" + QString::number(w->isEnabled()) +
                 ControlState(w);
  }
  // Raising a widget reorders its parent's children: compare by name.
  std::sort(lines.begin() + 1, lines.end());
  return lines;
}

} // namespace orvane::testing
