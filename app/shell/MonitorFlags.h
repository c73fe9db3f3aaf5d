#pragma once

namespace orvane {

struct MonitorFlags {
  bool DetectEnabled = false;
  bool Busy = false;
  bool UpdateDone = false;
  bool UpdateId3B5D = false;
  // A page action holds the device handle (open, act, close) and lets the
  // message loop turn meanwhile; nothing else may open or close it then.
  bool ActionRunning = false;
};

} // namespace orvane
