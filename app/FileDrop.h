#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QWidget;

namespace orvane {

// Lets a window take one dropped .hex or .bin file, or one folder, from a
// file manager, wherever on the window it is dropped (text boxes
// included); any other file or files are not accepted at the drag, so the
// cursor says so before the drop. Dragged text stays the text boxes' own.
class FileDrop final : public QObject {
  Q_OBJECT

public:
  using Taken = std::function<void(const QString &path)>;
  FileDrop(QWidget &window, Taken taken);
  ~FileDrop() override;

  // The local path a drop of these URLs would give; empty when it is not
  // one .hex/.bin file or one folder.
  static QString DroppablePath(const QList<QUrl> &urls);

protected:
  bool eventFilter(QObject *watched, QEvent *event) override;

private:
  // Whether watched is the window or one of its controls.
  bool OnWindow(QObject *watched) const;

  QWidget &window_;
  Taken taken_;
};

} // namespace orvane
