#include "app/FileDrop.h"

#include "isp/UpdateFileLookup.h"

#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

namespace orvane {

FileDrop::FileDrop(QWidget &window, Taken taken) : QObject(&window), taken_(std::move(taken)) {
  window.setAcceptDrops(true);
  window.installEventFilter(this);
}

QString FileDrop::DroppablePath(const QList<QUrl> &urls) {
  if (urls.size() != 1 || !urls.front().isLocalFile())
    return {};
  const QString path = urls.front().toLocalFile();
  const QFileInfo info(path);
  if (info.isDir())
    return path;
  if (info.isFile() && IsUpdateFileExtension(("." + info.suffix()).toStdString()))
    return path;
  return {};
}

bool FileDrop::eventFilter(QObject *watched, QEvent *event) {
  switch (event->type()) {
  case QEvent::DragEnter:
  case QEvent::DragMove: {
    auto *drag = static_cast<QDropEvent *>(event);
    if (drag->mimeData()->hasUrls() && !DroppablePath(drag->mimeData()->urls()).isEmpty())
      drag->acceptProposedAction();
    else
      drag->ignore();
    return true;
  }
  case QEvent::Drop: {
    auto *drop = static_cast<QDropEvent *>(event);
    const QString path = drop->mimeData()->hasUrls() ? DroppablePath(drop->mimeData()->urls()) : QString();
    if (path.isEmpty()) {
      drop->ignore();
      return true;
    }
    drop->acceptProposedAction();
    taken_(path);
    return true;
  }
  default:
    break;
  }
  return QObject::eventFilter(watched, event);
}

} // namespace orvane
