#pragma once

class QLabel;
class QProgressBar;
class QWidget;

namespace orvane {

class ReasonLine;

// The free strip of the window below the update panel, from the status
// line's left down to the notice at the window's foot: while an update
// runs, its progress bar and the line with percent and time left, in the
// status line's columns; at any other time the reason line, which says why the panel's last verdict or
// file refusal came about. The service view puts its pages there, so the
// strip shows only in the simple view. Made once, with the window.
class PanelFoot {
public:
  PanelFoot(QWidget &window, const QLabel &statusLine);
  PanelFoot(const PanelFoot &) = delete;
  PanelFoot &operator=(const PanelFoot &) = delete;

  void SetSimpleView(bool simple);
  // From begin to end of an update the progress takes the reason's place.
  void SetUpdating(bool updating);

  QProgressBar &Bar() { return *bar_; }
  QLabel &ProgressLine() { return *progressLine_; }
  ReasonLine &Reason() { return *reason_; }

private:
  void ShowWhatBelongs();

  QProgressBar *bar_;
  QLabel *progressLine_;
  ReasonLine *reason_;
  bool simple_ = true;
  bool updating_ = false;
};

} // namespace orvane
