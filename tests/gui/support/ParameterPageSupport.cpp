#include "ParameterPageSupport.h"

#include <QAbstractButton>

namespace orvane::testing {

QStringList CheckedParameterOptions(TForm1 &form) {
  static const char *const kOptions[] = {
      "rbnI2Slen0",      "rbnI2Slen1",      "rbnSPDIFlen0",  "rbnSPDIFlen1",  "rbnMCLKOutFreq0", "rbnMCLKOutFreq1",
      "rbnMCLKOutFreq2", "rbnMCLKOutFreq3", "rbnI2SFormat0", "rbnI2SFormat1", "rbnDSDOut0",      "rbnDSDOut1",
      "chkI2SLRSwap",    "chkDSDLRSwap",    "chkMCLKOutOff", "chkI2SOutOff",  "chkSPDIFOutOff"};
  QStringList checked;
  for (const char *name : kOptions) {
    auto *control = form.findChild<QAbstractButton *>(name);
    if (!control)
      checked << QString("missing ") + name;
    else if (control->isChecked())
      checked << name;
  }
  return checked;
}

} // namespace orvane::testing
