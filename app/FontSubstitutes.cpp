#include "app/FontSubstitutes.h"

#include <QFont>
#include <QStringList>
#include <QWidget>

#include <cmath>

namespace orvane {

namespace {
constexpr double kDesignDpi = 96.0;
constexpr double kPointsPerInch = 72.0;
} // namespace

void InstallFontSubstitutes() {
  const QStringList fixed{"DejaVu Sans Mono", "Liberation Mono", "Noto Mono"};
  const QStringList serif{"C059", "DejaVu Serif", "Liberation Serif"};
  // The update panel's lines were laid out for a narrow bitmap face: at
  // the same height a regular sans cuts "found but not valid!" off after
  // the longest model's file name; the narrow Arial-metric face keeps
  // every line whole with room to spare (fonts-liberation).
  const QStringList narrowSans{"Liberation Sans Narrow", "Nimbus Sans Narrow", "DejaVu Sans Condensed"};
  QFont::insertSubstitutions("Fixedsys", fixed);
  QFont::insertSubstitutions("Courier", fixed);
  QFont::insertSubstitutions("Century", serif);
  QFont::insertSubstitutions("MS Sans Serif", narrowSans);
  QFont::insertSubstitutions("Arial", {"Liberation Sans", "Nimbus Sans", "DejaVu Sans"});
  QFont::insertSubstitutions("Calibri", {"Carlito", "DejaVu Sans"});
  QFont::insertSubstitutions("Microsoft YaHei UI", {"Noto Sans CJK SC", "Droid Sans Fallback", "DejaVu Sans"});
}

int DesignPixelSize(double pointSize) {
  return static_cast<int>(std::lround(pointSize * kDesignDpi / kPointsPerInch));
}

void PinDesignFontSizes(QWidget &root) {
  QList<QWidget *> widgets = root.findChildren<QWidget *>();
  widgets.prepend(&root);
  for (QWidget *widget : widgets) {
    if (!widget->testAttribute(Qt::WA_SetFont))
      continue;
    QFont font = widget->font();
    if (font.pointSizeF() <= 0)
      continue;
    font.setPixelSize(DesignPixelSize(font.pointSizeF()));
    widget->setFont(font);
  }
}

} // namespace orvane
