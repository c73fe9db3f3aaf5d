#include "app/ServiceViewLayout.h"

#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QTabWidget>
#include <QWidget>

#include <algorithm>

namespace orvane {
namespace {
constexpr int kMargin = 8;
constexpr int kPagesLeft = 3;
constexpr int kPagesWidth = 585;
constexpr int kPagesHeight = 489;
// Less than this and the pages would be a slit: the window manager may
// then push the window past the screen's edge instead.
constexpr int kLeastPagesHeight = 160;
} // namespace

int AvailableInnerHeight(const QWidget &window) {
  const QScreen *screen = window.screen();
  if (!screen)
    return QWIDGETSIZE_MAX;
  const int frame = window.frameGeometry().height() - window.geometry().height();
  return screen->availableGeometry().height() - std::max(frame, 0);
}

void ServiceViewLayout::Enter(QWidget &window, QTabWidget &pages, const QWidget &topPanel, int allowance,
                              const std::vector<QWidget *> &revealed, int footRoom) {
  windowPos_ = window.pos();
  windowSize_ = window.size();
  pagesGeometry_ = pages.geometry();
  pagesHidden_ = pages.isHidden();
  pagesFilled_ = pages.autoFillBackground();
  currentPage_ = pages.currentIndex();
  tabVisible_.clear();
  for (int i = 0; i < pages.count(); ++i) {
    tabVisible_.push_back(pages.isTabVisible(i));
    pages.setTabVisible(i, true);
  }
  revealedHidden_.clear();
  for (QWidget *control : revealed) {
    revealedHidden_.emplace_back(control, control->isHidden());
    control->show();
  }

  // The pages keep their size inside a view that is as high as the screen
  // allows: they scroll when it is smaller.
  const int top = topPanel.geometry().bottom() + 1 + kMargin;
  const int pagesHeight = kPagesHeight + allowance;
  const int room = AvailableInnerHeight(window) - top - kMargin - footRoom;
  const int viewHeight = std::clamp(room, kLeastPagesHeight, pagesHeight);
  scroller_ = new QScrollArea(&window);
  scroller_->setObjectName("ServicePages");
  scroller_->setFrameShape(QFrame::NoFrame);
  scroller_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  pages.setGeometry(0, 0, kPagesWidth, pagesHeight);
  scroller_->setWidget(&pages);
  const int scrollBar = viewHeight < pagesHeight ? scroller_->style()->pixelMetric(QStyle::PM_ScrollBarExtent) : 0;
  const QRect area(kPagesLeft, top, kPagesWidth + scrollBar, viewHeight);
  scroller_->setGeometry(area);
  pages.show();
  scroller_->show();

  const QSize size(std::max(windowSize_.width(), area.right() + 1 + kMargin), area.bottom() + 1 + kMargin + footRoom);
  window.setFixedSize(size);
  // A window that now reaches below the screen's free area moves up.
  if (const QScreen *screen = window.screen()) {
    const QRect free = screen->availableGeometry();
    const QRect frame = window.frameGeometry();
    const int frameHeight = frame.height() - window.height() + size.height();
    if (frame.top() + frameHeight > free.bottom() + 1)
      window.move(frame.left(), std::max(free.top(), free.bottom() + 1 - frameHeight));
  }
}

void ServiceViewLayout::Leave(QWidget &window, QTabWidget &pages) {
  for (const auto &[control, hidden] : revealedHidden_)
    control->setHidden(hidden);
  for (int i = 0; i < pages.count() && i < static_cast<int>(tabVisible_.size()); ++i)
    pages.setTabVisible(i, tabVisible_[i]);
  pages.setCurrentIndex(currentPage_);
  if (scroller_) {
    scroller_->takeWidget();
    pages.setParent(&window);
    delete scroller_;
    scroller_ = nullptr;
  }
  pages.setAutoFillBackground(pagesFilled_);
  pages.setGeometry(pagesGeometry_);
  pages.setHidden(pagesHidden_);
  window.setFixedSize(windowSize_);
  window.move(windowPos_);
}

} // namespace orvane
