#include "app/UpdateProgressBar.h"

#include "program/ProgressText.h"

#include <QLabel>
#include <QProgressBar>
#include <QWidget>

namespace orvane {

namespace {
constexpr int kGap = 3;
constexpr int kBarHeight = 14;
constexpr int kTextHeight = 18;
constexpr int kTextPixels = 13;
const char *const kBarName = "pgbUpdateProgress";
const char *const kTextName = "lblUpdateProgress";
} // namespace

void AddUpdateProgressBar(QWidget &window, const QLabel &statusLine) {
  // Below the panel that holds the status line, in the line's columns:
  // no designed control moves.
  const QWidget &panel = *statusLine.parentWidget();
  const int left = statusLine.mapTo(&window, QPoint(0, 0)).x();
  const int top = panel.mapTo(&window, QPoint(0, panel.height())).y() + kGap;
  auto *bar = new QProgressBar(&window);
  bar->setObjectName(kBarName);
  bar->setGeometry(left, top, statusLine.width(), kBarHeight);
  bar->setRange(0, 100);
  bar->setTextVisible(false);
  bar->hide();
  auto *text = new QLabel(&window);
  text->setObjectName(kTextName);
  QFont font = text->font();
  font.setPixelSize(kTextPixels);
  text->setFont(font);
  text->setGeometry(left, top + kBarHeight + kGap, statusLine.width(), kTextHeight);
  text->hide();
}

void HideUpdateProgressBar(QWidget &window) {
  for (const char *name : {kBarName, kTextName})
    if (auto *part = window.findChild<QWidget *>(name, Qt::FindDirectChildrenOnly))
      part->hide();
}

UpdateProgressViews::UpdateProgressViews(QWidget &window, UpdateStatusView &status, IspView &isp, const Clock &clock,
                                         const FlashState &flash, uint64_t spanBytes, bool shown)
    : status_(status), isp_(isp), steps_(clock, flash, spanBytes),
      bar_(window.findChild<QProgressBar *>(kBarName, Qt::FindDirectChildrenOnly)),
      text_(window.findChild<QLabel *>(kTextName, Qt::FindDirectChildrenOnly)) {
  bar_->setRange(0, 100);
  bar_->setValue(0);
  text_->clear();
  bar_->setVisible(shown);
  text_->setVisible(shown);
}

UpdateProgressViews::~UpdateProgressViews() {
  bar_->hide();
  text_->hide();
}

void UpdateProgressViews::ShowStatus(const std::string &text, StatusTone tone) {
  status_.ShowStatus(text, tone);
  if (!steps_.NewStep(text))
    return;
  // A step without a walk of its own shows an empty bar, not the last one.
  bar_->setRange(0, 100);
  bar_->setValue(0);
  text_->clear();
}

void UpdateProgressViews::Progress(FlashPhase phase, uint32_t done, uint32_t total) {
  isp_.Progress(phase, done, total);
  const WalkProgress progress = steps_.Update(phase, done, total);
  if (IsBlockWalk(phase)) {
    bar_->setRange(0, 100);
    bar_->setValue(progress.percent);
  } else {
    bar_->setRange(0, 0);
  }
  text_->setText(QString::fromStdString(ProgressLine(progress, false)));
}

} // namespace orvane
