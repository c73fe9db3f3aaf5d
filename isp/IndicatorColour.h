#pragma once

namespace orvane {

// Colours of the indicator pnlUSBExist.
enum class IndicatorColour { ButtonFace, Grey, LimeGreen };

} // namespace orvane
