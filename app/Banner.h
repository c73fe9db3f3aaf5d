#pragma once

#include <QString>

class QLabel;

namespace orvane {

inline constexpr const char *kBannerResource = ":/images/Image1.jpg";

// Decodes the JPEG banner from the resource with libjpeg and shows it in
// the picture control. A missing or damaged picture leaves the control
// empty: false, and the window works on without it.
bool ShowBanner(QLabel &picture, const QString &resource = kBannerResource);

} // namespace orvane
