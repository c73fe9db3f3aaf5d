#include "app/FileDrop.h"

#include "isp/UpdateFileLookup.h"

#include <QCoreApplication>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

namespace orvane {

FileDrop::FileDrop(QWidget &window, Taken taken) : QObject(&window), window_(window), taken_(std::move(taken)) {
  window.setAcceptDrops(true);
  // A drop reaches the control under the pointer first, and a text box
  // would paste the file's path: every drop onto the window comes here.
  QCoreApplication::instance()->installEventFilter(this);
}

FileDrop::~FileDrop() {
  if (QCoreApplication *application = QCoreApplication::instance())
    application->removeEventFilter(this);
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

bool FileDrop::OnWindow(QObject *watched) const {
  return watched->isWidgetType() && static_cast<QWidget *>(watched)->window() == &window_;
}

bool FileDrop::eventFilter(QObject *watched, QEvent *event) {
  switch (event->type()) {
  case QEvent::DragEnter:
  case QEvent::DragMove: {
    auto *drag = static_cast<QDropEvent *>(event);
    // Text dragged from elsewhere is still the text boxes' own.
    if (!OnWindow(watched) || !drag->mimeData()->hasUrls())
      break;
    if (!DroppablePath(drag->mimeData()->urls()).isEmpty())
      drag->acceptProposedAction();
    else
      drag->ignore();
    return true;
  }
  case QEvent::Drop: {
    auto *drop = static_cast<QDropEvent *>(event);
    if (!OnWindow(watched) || !drop->mimeData()->hasUrls())
      break;
    const QString path = DroppablePath(drop->mimeData()->urls());
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
