#pragma once

#include "program/ProgramState.h"
#include "program/UpdateReporter.h"
#include "usb/DeviceTable.h"

#include <string>
#include <vector>

namespace orvane {

struct DeviceSearchResult {
  bool found = false;
  FoundDevice device;
  // The window would look up an update file now: for a model its own, for
  // the 3B5D update-mode device that of row 0; none for 0C7E.
  bool wantsUpdateFile = false;
};

// Searches the way the window does, by ticking its connection monitor:
// one full rotation over every target at once, then, while waitSeconds
// have not passed, on at the monitor's fast pace through the clock.
// Leaves the device object on the device found and DeviceRow on its row.
DeviceSearchResult SearchAttachedDevice(ProgramState &state, uint32_t waitSeconds);

// Every attached device of every target, table rows first, with whether it
// opens and the update file it would get from workingDirectory. Waits like
// SearchAttachedDevice until at least one is there.
std::vector<ListedDevice> ListAttachedDevices(DeviceBus &bus, Clock &clock, const std::string &workingDirectory,
                                              uint32_t waitSeconds);

// What to do when a model has no update file in the directory.
std::string NoUpdateFileAdvice(const DeviceTableRow &model, const std::string &workingDirectory);

} // namespace orvane
