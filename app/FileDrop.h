#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QWidget;

namespace orvane {

// Lets a window take one dropped .hex or .bin file, or one folder, from a
// file manager; anything else is not accepted at the drag, so the cursor
// says so before the drop.
class FileDrop final : public QObject {
  Q_OBJECT

public:
  using Taken = std::function<void(const QString &path)>;
  FileDrop(QWidget &window, Taken taken);

  // The local path a drop of these URLs would give; empty when it is not
  // one .hex/.bin file or one folder.
  static QString DroppablePath(const QList<QUrl> &urls);

protected:
  bool eventFilter(QObject *watched, QEvent *event) override;

private:
  Taken taken_;
};

} // namespace orvane
