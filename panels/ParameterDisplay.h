#pragma once

#include "panels/ParameterRecord.h"

#include <string>
#include <vector>

namespace orvane {

inline constexpr const char *kEepromExist = "EEPROM Exist";
inline constexpr const char *kEepromNotAvailable = "EEPROM not Available";

// One step of showing the record on the page's controls.
struct ControlSetting {
  enum class Kind { Caption, Check };
  std::string control; // objectName
  Kind kind = Kind::Check;
  bool checked = false; // Check: the state to give the box; a radio button is always checked
  std::string caption;  // Caption: the label's new text
};

// ShowParameterRecord: the settings in the order the controls are set.
// Checking a control runs its click handler, so the order is part of what
// the page does.
std::vector<ControlSetting> ParameterRecordDisplay(const ParameterRecord &record);

} // namespace orvane
