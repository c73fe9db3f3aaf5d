#pragma once

namespace orvane {

struct MonitorFlags {
  bool DetectEnabled = false;
  bool Busy = false;
  bool UpdateDone = false;
  bool UpdateId3B5D = false;
};

} // namespace orvane
