#include "app/ProgramIcon.h"

#include <QFile>

// The resources live in a static library: they must be registered by hand.
static void RegisterIconResources() {
  Q_INIT_RESOURCE(ProgramIcon);
}

namespace orvane {

QIcon ProgramIcon() {
  RegisterIconResources();
  QIcon icon;
  for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
    const QString file = QStringLiteral(":/icons/%1/orvane-updater.png").arg(size);
    if (QFile::exists(file))
      icon.addFile(file, QSize(size, size));
  }
  return icon;
}

} // namespace orvane
