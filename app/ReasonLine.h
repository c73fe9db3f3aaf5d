#pragma once

#include <QLabel>
#include <QString>

#include <functional>

class QAction;

namespace orvane {

// text whole when it fits, else shortened in the middle by the fewest
// characters that make it fit, an ellipsis standing for what was left out.
QString ShortenInMiddle(const QString &text, const std::function<bool(const QString &shown)> &fits);

// What a reason explains.
enum class ReasonOf {
  UpdateFile, // the file line's refusal ("found but not valid!")
  Update,     // the status line's verdict or refusal
};

// A line in the window's own space that says why something failed or was
// refused. It wraps onto as many lines as its height holds and is
// shortened in the middle only when even they are too few; the tooltip
// always has the whole text, which can be selected and copied ("Copy" in
// its menu copies the whole, shortened or not). It shows the reason set
// last; when that one no longer holds, the other one, if any.
class ReasonLine final : public QLabel {
  Q_OBJECT

public:
  explicit ReasonLine(QWidget *parent);

  // Empty: that reason no longer holds.
  void ShowReason(ReasonOf of, const QString &reason);
  // The whole reason shown; empty when there is none.
  const QString &Reason() const { return reasons_[static_cast<int>(shown_)]; }

protected:
  void resizeEvent(QResizeEvent *event) override;

private:
  void Fit();

  QString reasons_[2];
  ReasonOf shown_ = ReasonOf::Update;
  QAction *copy_ = nullptr;
};

} // namespace orvane
