#include "app/ServiceViewLayout.h"

#include <QTabWidget>
#include <QWidget>

#include <algorithm>

namespace orvane {
namespace {
constexpr int kMargin = 8;
constexpr int kPagesLeft = 3;
constexpr int kPagesWidth = 585;
constexpr int kPagesHeight = 489;
} // namespace

void ServiceViewLayout::Enter(QWidget &window, QTabWidget &pages, const QWidget &topPanel, int allowance,
                              const std::vector<QWidget *> &revealed) {
  windowPos_ = window.pos();
  windowSize_ = window.size();
  pagesGeometry_ = pages.geometry();
  pagesHidden_ = pages.isHidden();
  currentPage_ = pages.currentIndex();
  tabVisible_.clear();
  for (int i = 0; i < pages.count(); ++i) {
    tabVisible_.push_back(pages.isTabVisible(i));
    pages.setTabVisible(i, true);
  }
  const QRect area(kPagesLeft, topPanel.geometry().bottom() + 1 + kMargin, kPagesWidth, kPagesHeight + allowance);
  pages.setGeometry(area);
  pages.show();
  revealedHidden_.clear();
  for (QWidget *control : revealed) {
    revealedHidden_.emplace_back(control, control->isHidden());
    control->show();
  }
  window.resize(std::max(windowSize_.width(), area.right() + 1 + kMargin), area.bottom() + 1 + kMargin);
}

void ServiceViewLayout::Leave(QWidget &window, QTabWidget &pages) {
  for (const auto &[control, hidden] : revealedHidden_)
    control->setHidden(hidden);
  for (int i = 0; i < pages.count() && i < static_cast<int>(tabVisible_.size()); ++i)
    pages.setTabVisible(i, tabVisible_[i]);
  pages.setCurrentIndex(currentPage_);
  pages.setGeometry(pagesGeometry_);
  pages.setHidden(pagesHidden_);
  window.resize(windowSize_);
  window.move(windowPos_);
}

} // namespace orvane
