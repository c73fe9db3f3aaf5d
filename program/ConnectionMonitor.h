#pragma once

#include "isp/IndicatorColour.h"
#include "program/ProgramState.h"

#include <string>

namespace orvane {

// What one monitor tick changes in the window.
class MonitorView {
public:
  virtual ~MonitorView() = default;
  virtual void SetTimerInterval(int ms) = 0;
  virtual void SetDetectCaption(const std::string &text) = 0; // lblDetectDevice
  virtual void SetFileStatus(const std::string &text) = 0;    // lblUpdaeFileStatus
  virtual void SetProcessStatus(const std::string &text) = 0; // lblISPProcStatus, and its reason goes
  virtual void SetIndicator(IndicatorColour colour) = 0;      // pnlUSBExist
  virtual void SetStartEnabled(bool enabled) = 0;             // btnSimpleAuto
  // The automatic lookup of the update file of row DeviceRow.
  virtual void ReadProgramFile1() = 0;
};

inline constexpr const char *kFindDeviceLead = "Find Device ";
inline constexpr const char *kUpdateDevice3B5DCaption = "Firmware update device 3B5D is exist";
inline constexpr const char *kUpdateDevice0C7ECaption = "Firmware update device 0C7E is exist";
inline constexpr const char *kNoDeviceCaption = "No device is available";

// Follows the device line when more than one supported device is attached.
std::string SeveralDevicesNote(size_t attached);

// The record of an interrupted update of the device found now (by its
// place, or its serial number); nullopt when there is none.
std::optional<UpdateRecord> RecoveryFor(ProgramState &state);

inline constexpr int kMonitorSlowMs = 1000;
inline constexpr int kMonitorFastMs = 100;

// Finds the attached device and follows it being plugged and unplugged:
// table models through the audio driver, the update-mode identities through
// the generic driver, turn by turn. While Start waits for another program
// to let go of the device, each tick tries the device's lock.
class ConnectionMonitor {
public:
  ConnectionMonitor(ProgramState &state, MonitorView &view) : state_(state), view_(view) {}

  void Tick();
  // The "Detect Device" box; checked switches the monitor on.
  void SetDetect(bool checked);

private:
  void SearchNextTarget();
  void ShowOutcome();
  // Takes the device's lock and gives it back at once; once it could be
  // taken, Start is offered again.
  void RetryDeviceLock();

  ProgramState &state_;
  MonitorView &view_;
};

} // namespace orvane
