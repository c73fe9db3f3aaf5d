#include "app/PanelFoot.h"

#include "app/BusyNotice.h"
#include "app/ReasonLine.h"

#include <QLabel>
#include <QProgressBar>
#include <QWidget>

namespace orvane {

namespace {
constexpr int kGap = 3;
constexpr int kBarHeight = 14;
constexpr int kTextHeight = 18;
constexpr int kTextPixels = 13;
constexpr int kRightMargin = 16; // as the notice's
} // namespace

PanelFoot::PanelFoot(QWidget &window, const QLabel &statusLine)
    : bar_(new QProgressBar(&window)), progressLine_(new QLabel(&window)), reason_(new ReasonLine(&window)) {
  // Below the panel that holds the status line, in the line's columns:
  // no designed control moves.
  const QWidget &panel = *statusLine.parentWidget();
  const int left = statusLine.mapTo(&window, QPoint(0, 0)).x();
  const int top = panel.mapTo(&window, QPoint(0, panel.height())).y() + kGap;
  const int width = statusLine.width();

  bar_->setObjectName("pgbUpdateProgress");
  bar_->setGeometry(left, top, width, kBarHeight);
  bar_->setRange(0, 100);
  bar_->setTextVisible(false);

  progressLine_->setObjectName("lblUpdateProgress");
  QFont font = progressLine_->font();
  font.setPixelSize(kTextPixels);
  progressLine_->setFont(font);
  progressLine_->setGeometry(left, top + kBarHeight + kGap, width, kTextHeight);

  // Down to the notice, which has the window's foot, and out to the
  // window's margin: a long reason takes fewer lines.
  reason_->setObjectName("lblReason");
  reason_->setGeometry(left, top, window.width() - kRightMargin - left,
                       window.height() - BusyNoticeRoom() - kGap - top);
  ShowWhatBelongs();
}

void PanelFoot::SetSimpleView(bool simple) {
  simple_ = simple;
  ShowWhatBelongs();
}

void PanelFoot::SetUpdating(bool updating) {
  updating_ = updating;
  if (updating) {
    bar_->setRange(0, 100);
    bar_->setValue(0);
    progressLine_->clear();
  }
  ShowWhatBelongs();
}

void PanelFoot::ShowWhatBelongs() {
  bar_->setVisible(simple_ && updating_);
  progressLine_->setVisible(simple_ && updating_);
  reason_->setVisible(simple_ && !updating_);
}

} // namespace orvane
