#pragma once

#include "usb/DeviceTable.h"

#include <string>

namespace orvane {

// The model whose update file a file's name says it is, when that is
// another model than the attached one: the name (without its folder)
// carries another model's update-file name (filePrefix, in any letter
// case) and not the attached model's own. nullptr when the name names no
// model, or the attached one.
const ModelRow *OtherModelNamed(const std::string &path, const ModelRow &attached);

// "This file is named for Orvane-R61; the attached device is an Orvane-R62"
std::string OtherModelWarning(const ModelRow &named, const ModelRow &attached);

} // namespace orvane
