#include "app/Indicator.h"

#include <QApplication>
#include <QPalette>
#include <QWidget>

namespace orvane {

QColor IndicatorQColor(IndicatorColour colour, const QWidget &) {
  switch (colour) {
  case IndicatorColour::Grey:
    return QColor(128, 128, 128);
  case IndicatorColour::LimeGreen:
    return QColor(0, 255, 0);
  case IndicatorColour::ButtonFace:
    break;
  }
  return QApplication::palette().color(QPalette::Button);
}

void PaintIndicator(QWidget &indicator, IndicatorColour colour) {
  QPalette palette = indicator.palette();
  palette.setColor(QPalette::Window, IndicatorQColor(colour, indicator));
  indicator.setAutoFillBackground(true);
  indicator.setPalette(palette);
}

QColor IndicatorColourOf(const QWidget &indicator) {
  return indicator.palette().color(QPalette::Window);
}

} // namespace orvane
