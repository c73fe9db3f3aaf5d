#pragma once

#include "usb/ChipCommands.h"
#include "usb/DeviceResult.h"

namespace orvane {

// One action on the device the search found, from its lock to its close:
// Begin takes the device's lock for the whole session (no other program
// slips in between the action's steps) and opens the device; the chip is
// in ISP mode only between EnterIsp and LeaveIsp. However the action ends,
// the session then asks a chip it put into ISP mode to leave it (unless
// the action asked already, or gave the device up), closes the device and
// gives the lock back. A session that never began touches nothing: the
// device may be another action's.
class DeviceSession {
public:
  explicit DeviceSession(ChipCommands &chip) : chip_(chip) {}
  ~DeviceSession();
  DeviceSession(const DeviceSession &) = delete;
  DeviceSession &operator=(const DeviceSession &) = delete;

  // Takes the lock and opens the device; the lock stays taken until End
  // even when the open failed.
  [[nodiscard]] DeviceResult Begin();
  // Opens the device again on a fresh handle: whatever became of the old
  // one (time-outs its driver counted, a lost connection) stays with it.
  [[nodiscard]] DeviceResult Reopen();
  // Opens the pinned device again (VantrelUsb::ReopenPinned).
  [[nodiscard]] VantrelUsb::ReopenOutcome ReopenPinned(const DevicePin &pin);
  [[nodiscard]] DeviceResult EnterIsp();
  // Once asked, the chip is not asked again at the end, whatever it answered.
  [[nodiscard]] DeviceResult LeaveIsp();
  // The device is gone, or is not the one the session began on: nothing
  // more is sent to it.
  void Abandon() { inIsp_ = false; }
  // The action is over: the device is closed and the lock given back. A
  // chip the action did not ask to leave ISP mode stays in it.
  void End();
  // Whether the chip was put into ISP mode and not yet asked to leave it.
  bool InIsp() const { return inIsp_; }

private:
  DeviceResult Outcome(bool went) const;

  ChipCommands &chip_;
  bool holdsLock_ = false;
  bool inIsp_ = false;
  // Between Begin and End: the session has the device to close.
  bool begun_ = false;
};

} // namespace orvane
