#include "app/FontSubstitutes.h"

#include <QFont>
#include <QStringList>

namespace orvane {

void InstallFontSubstitutes() {
  const QStringList fixed{"DejaVu Sans Mono", "Liberation Mono", "Noto Mono"};
  const QStringList serif{"C059", "DejaVu Serif", "Liberation Serif"};
  const QStringList sans{"DejaVu Sans", "Liberation Sans", "Noto Sans"};
  QFont::insertSubstitutions("Fixedsys", fixed);
  QFont::insertSubstitutions("Courier", fixed);
  QFont::insertSubstitutions("Century", serif);
  QFont::insertSubstitutions("MS Sans Serif", sans);
  QFont::insertSubstitutions("Arial", {"Liberation Sans", "Nimbus Sans", "DejaVu Sans"});
  QFont::insertSubstitutions("Calibri", {"Carlito", "DejaVu Sans"});
  QFont::insertSubstitutions("Microsoft YaHei UI", {"Noto Sans CJK SC", "Droid Sans Fallback", "DejaVu Sans"});
}

} // namespace orvane
