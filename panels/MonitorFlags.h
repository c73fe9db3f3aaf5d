#pragma once

#include <functional>

namespace orvane {

struct MonitorFlags {
  bool DetectEnabled = false;
  bool Busy = false;
  bool UpdateDone = false;
  bool UpdateId3B5D = false;
  // A page action holds the device handle (open, act, close) and lets the
  // message loop turn meanwhile; nothing else may open or close it then.
  bool ActionRunning = false;
  // Told when ActionRunning changes, so a window can grey what must wait
  // for the action (everything that changes the image, the flash steps).
  std::function<void(bool running)> actionRunningChanged;
};

} // namespace orvane
