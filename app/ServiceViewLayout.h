#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

#include <utility>
#include <vector>

class QScrollArea;
class QTabWidget;
class QWidget;

namespace orvane {

// The engineering view for service use: the page control with all its tabs
// below the top panel, in a window grown to hold it, with the page controls
// that start-up hid (revealed) shown. The window never grows past the
// screen's free height: the pages then scroll in their place. footRoom is
// kept free at the window's foot for its notice. Leave puts back exactly
// what Enter changed.
class ServiceViewLayout {
public:
  void Enter(QWidget &window, QTabWidget &pages, const QWidget &topPanel, int allowance,
             const std::vector<QWidget *> &revealed, int footRoom);
  void Leave(QWidget &window, QTabWidget &pages);

private:
  QPoint windowPos_; // a window manager may move the window to fit the larger size
  QSize windowSize_;
  QRect pagesGeometry_;
  bool pagesHidden_ = true;
  bool pagesFilled_ = false;
  int currentPage_ = 0;
  std::vector<bool> tabVisible_;
  std::vector<std::pair<QWidget *, bool>> revealedHidden_;
  QScrollArea *scroller_ = nullptr;
};

// The height a window's inner part may take on its screen: the screen's
// free height less the window manager's frame.
int AvailableInnerHeight(const QWidget &window);

} // namespace orvane
