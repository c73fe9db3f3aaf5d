#include "panels/ParameterDisplay.h"

#include "panels/ParameterOptions.h"

#include <utility>

namespace orvane {
namespace {

ControlSetting Caption(std::string control, std::string text) {
  return {std::move(control), ControlSetting::Kind::Caption, false, std::move(text)};
}

ControlSetting Check(std::string control, bool checked) {
  return {std::move(control), ControlSetting::Kind::Check, checked, {}};
}

// Of two radio buttons, the one to check.
ControlSetting Choose(bool firstWhen, const char *first, const char *second) {
  return Check(firstWhen ? first : second, true);
}

} // namespace

std::vector<ControlSetting> ParameterRecordDisplay(const ParameterRecord &record) {
  return {
      Caption("lblEepAvail", EepromPresent(record) ? kEepromExist : kEepromNotAvailable),
      Choose(I2sOutput32Bit(record), "rbnI2Slen0", "rbnI2Slen1"),
      Choose(SpdifOutput32Bit(record), "rbnSPDIFlen0", "rbnSPDIFlen1"),
      Check("chkI2SLRSwap", I2sChannelSwap(record)),
      Check("chkDSDLRSwap", DsdChannelSwap(record)),
      Choose(I2sLeftJustified(record), "rbnI2SFormat1", "rbnI2SFormat0"),
      Choose(NativeDsdOutput(record), "rbnDSDOut0", "rbnDSDOut1"),
      Check("rbnMCLKOutFreq" + std::to_string(MclkFrequencyIndex(record)), true),
      Check("chkMCLKOutOff", MclkOutputOff(record)),
      Check("chkI2SOutOff", I2sOutputOff(record)),
      Check("chkSPDIFOutOff", SpdifOutputOff(record)),
  };
}

} // namespace orvane
