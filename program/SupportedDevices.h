#pragma once

#include "program/UpdateReporter.h"
#include "usb/DeviceBus.h"

#include <string>
#include <vector>

namespace orvane {

// One attached device the program could work on, as the search names it.
struct SupportedDevice {
  FoundDevice device;
  int row = -1; // table row whose update file it gets; -1 for none
};

// Every attached device of every target, table rows first, each device
// once (by location) even when several interfaces lead to it.
std::vector<SupportedDevice> ListSupportedDevices(DeviceBus &bus);

// "2-1.3 Find Device Orvane-R62 (serial VXUA170203)", one a line, for a
// message that asks the user to choose.
std::string DeviceChoiceLines(const std::vector<SupportedDevice> &devices);

} // namespace orvane
