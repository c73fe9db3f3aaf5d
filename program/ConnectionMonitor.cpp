#include "program/ConnectionMonitor.h"

#include "program/SupportedDevices.h"
#include "usb/DeviceTable.h"

namespace orvane {

void ConnectionMonitor::Tick() {
  VantrelUsb &usb = state_.usb;
  MonitorFlags &flags = state_.monitor;
  if (!flags.DetectEnabled || flags.UpdateDone) {
    // A page action still running keeps its handle.
    if (usb.IsFound() && !flags.ActionRunning)
      usb.Close();
    return;
  }
  if (flags.Busy)
    return;
  if (usb.IsFound()) {
    view_.SetTimerInterval(kMonitorSlowMs);
    if (usb.CheckDevice() && state_.startWaitsForDevice && !flags.ActionRunning)
      RetryDeviceLock();
  } else {
    SearchNextTarget();
  }
  ShowOutcome();
}

void ConnectionMonitor::SearchNextTarget() {
  VantrelUsb &usb = state_.usb;
  MonitorFlags &flags = state_.monitor;
  state_.image.UpdateFileLoaded = false;
  state_.startWaitsForDevice = false; // the device it waited for has gone
  view_.SetFileStatus("No Updated File !");
  view_.SetProcessStatus("");
  if (usb.GetAudioDriver()) {
    view_.SetTimerInterval(kMonitorFastMs);
    usb.SetAudioDriver(false);
    usb.SetTarget(flags.UpdateId3B5D ? kUpdateMatch0C7E : kUpdateMatch3B5D);
    flags.UpdateId3B5D = !flags.UpdateId3B5D;
  } else {
    usb.SetAudioDriver(true);
    state_.DeviceRow = static_cast<uint8_t>((state_.DeviceRow + 1) % kDeviceTableRows);
    usb.SetTarget(MatchTextOf(kModels[state_.DeviceRow].usb));
  }
  usb.FindDevice();
}

void ConnectionMonitor::ShowOutcome() {
  VantrelUsb &usb = state_.usb;
  if (!usb.IsFound()) {
    view_.SetIndicator(IndicatorColour::ButtonFace);
    view_.SetDetectCaption(kNoDeviceCaption);
    view_.SetStartEnabled(false);
    return;
  }
  // A running action works on the image as it was when it started: the
  // file is looked up again only once it has ended.
  const bool mayLoad = !state_.monitor.ActionRunning;
  // The window works on one device; with more attached it says which it took rather than choosing silently.
  const size_t attached = ListSupportedDevices(usb.Bus()).size();
  const std::string more = attached > 1 ? SeveralDevicesNote(attached) : std::string();
  if (usb.GetAudioDriver()) {
    state_.recovery.reset();
    view_.SetDetectCaption(std::string(kFindDeviceLead) + DeviceTable[state_.DeviceRow].displayName + more);
    if (!state_.image.UpdateFileLoaded && mayLoad)
      view_.ReadProgramFile1();
  } else if (state_.monitor.UpdateId3B5D) {
    view_.SetDetectCaption(kUpdateDevice3B5DCaption + more);
    state_.DeviceRow = 0;
    if (mayLoad) {
      state_.recovery = RecoveryFor(state_);
      view_.ReadProgramFile1();
    }
  } else {
    view_.SetDetectCaption(kUpdateDevice0C7ECaption + more);
    // Without a record this identity gets no file; with one, the file of
    // the update that was cut short.
    if (mayLoad) {
      state_.recovery = RecoveryFor(state_);
      if (state_.recovery)
        view_.ReadProgramFile1();
    }
  }
}

std::optional<UpdateRecord> RecoveryFor(ProgramState &state) {
  const auto place = state.usb.Bus().PlaceOf(state.usb.DevicePath());
  if (!place)
    return std::nullopt;
  return state.records.Find(place->location, place->serial, state.unixNow());
}

void ConnectionMonitor::RetryDeviceLock() {
  const DeviceLockHold probe(state_.usb);
  if (!probe)
    return;
  state_.startWaitsForDevice = false;
  view_.SetProcessStatus("");
  view_.SetStartEnabled(state_.panelImage.UpdateFileLoaded);
}

std::string SeveralDevicesNote(size_t attached) {
  return " (one of " + std::to_string(attached) + " supported devices attached)";
}

void ConnectionMonitor::SetDetect(bool checked) {
  state_.monitor.DetectEnabled = checked;
  if (!checked) {
    view_.SetIndicator(IndicatorColour::Grey);
    state_.usb.ClearFound();
  }
}

} // namespace orvane
