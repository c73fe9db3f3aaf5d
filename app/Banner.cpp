#include "app/Banner.h"

#include "app/JpegDecoder.h"

#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPixmap>

// The resources live in a static library: they must be registered by hand.
static void RegisterWindowResources() {
  Q_INIT_RESOURCE(Unit1);
}

namespace orvane {

bool ShowBanner(QLabel &picture, const QString &resource) {
  RegisterWindowResources();
  QFile file(resource);
  if (!file.open(QIODevice::ReadOnly))
    return false;
  const QByteArray bytes = file.readAll();
  const auto decoded = DecodeJpeg(reinterpret_cast<const uint8_t *>(bytes.constData()), bytes.size());
  if (!decoded)
    return false;
  const QImage image(decoded->pixels.data(), decoded->width, decoded->height, decoded->width * 3,
                     QImage::Format_RGB888);
  picture.setPixmap(QPixmap::fromImage(image.copy()));
  return true;
}

} // namespace orvane
