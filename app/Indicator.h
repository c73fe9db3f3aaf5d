#pragma once

#include "isp/IndicatorColour.h"

#include <QColor>

class QWidget;

namespace orvane {

// The colour the indicator panel shows for each state.
QColor IndicatorQColor(IndicatorColour colour, const QWidget &indicator);
void PaintIndicator(QWidget &indicator, IndicatorColour colour);
// The indicator's current background colour.
QColor IndicatorColourOf(const QWidget &indicator);

} // namespace orvane
