#pragma once

#include "app/Dialogs.h"
#include "app/Unit1.h"
#include "program/ProgramState.h"
#include "testing/NullDeviceBus.h"
#include "testing/SimulatedDeviceStack.h"
#include "usb/Clock.h"

#include <QStringList>

#include <functional>
#include <memory>

namespace orvane::testing {

// Records what the window would have shown in its message boxes and
// answers its questions as the test says.
class RecordingDialogs final : public Dialogs {
public:
  void Message(QWidget *, const QString &caption, const QString &text) override { messages << caption + ": " + text; }
  bool Confirm(QWidget *, const QString &caption, const QString &text, const QString &details) override {
    confirms << caption + ": " + text;
    confirmDetails << details;
    if (onConfirm)
      onConfirm();
    return confirmAnswer;
  }
  void Exception(QWidget *, const QString &text) override { exceptions << text; }
  QString OpenFileName(QWidget *, const QString &filter, const QString &) override {
    fileFilters << filter;
    return openAnswer;
  }
  QString SaveFileName(QWidget *, const QString &filter, const QString &) override {
    fileFilters << filter;
    if (onSave)
      onSave();
    return saveAnswer;
  }

  QStringList messages, confirms, confirmDetails, exceptions, fileFilters;
  bool confirmAnswer = false;
  QString openAnswer, saveAnswer;
  std::function<void()> onSave;    // runs while the save dialog would be open
  std::function<void()> onConfirm; // runs while the question would be open
};

// A freshly started program: its state, a bus with nothing on it and the window.
struct StartedWindow {
  StartedWindow() : StartedWindow(nullBus, ownClock) {}
  explicit StartedWindow(DeviceBus &bus) : StartedWindow(bus, ownClock) {}
  // On simulated devices the program waits on the devices' clock, so that
  // a chip's busy time passes while the program waits for it.
  explicit StartedWindow(SimulatedDeviceStack &devices) : StartedWindow(devices.bus, devices.clock) {}

  NullDeviceBus nullBus;
  VirtualClock ownClock;
  VirtualClock &clock;
  ProgramState state;
  RecordingDialogs dialogs;
  TForm1 form;

private:
  StartedWindow(DeviceBus &bus, VirtualClock &programClock)
      : clock(programClock), state(bus, clock), form(state, dialogs) {}
};

// A started window, shown on the screen; nullptr when the platform never
// showed it. Without a bus the window gets one with nothing on it.
std::unique_ptr<StartedWindow> ShowStartedWindow(DeviceBus *bus = nullptr);
std::unique_ptr<StartedWindow> ShowStartedWindow(SimulatedDeviceStack &devices);

// One line per named control (kind, geometry, visibility, enabled state,
// text, check state, grid cells), plus the window's caption and size and
// the page control's tabs: two equal descriptions are two equal windows.
QStringList DescribeWindow(TForm1 &form);

} // namespace orvane::testing
