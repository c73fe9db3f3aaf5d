#pragma once

#include "WindowTestSupport.h"
#include "testing/SimulatedDeviceStack.h"
#include "tests/unit/register_traffic.h"
#include "ui_Unit1.h"
#include "usb/DeviceTable.h"

#include <QTest>
#include <QTimer>

namespace orvane::testing {

// The window on a simulated Orvane-R62 running its firmware, found through
// the audio driver, in the service view with one page open. The connection
// monitor's timer is stopped so that only the test's actions reach the device.
struct SimWindow : SimulatedDeviceStack {
  void Open(QWidget *page) {
    form.Timer1()->stop();
    state.usb.SetAudioDriver(true);
    QVERIFY(state.usb.SetTarget(DeviceTable[3].matchText)); // Orvane-R62
    QVERIFY(state.usb.FindDevice());
    form.SetServiceView(true);
    c().MainPageControl->setCurrentWidget(page);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    transport.ClearTransfers();
  }
  Ui::TForm1 &c() { return form.Controls(); }
  std::vector<std::string> Traffic() const { return test::RegisterTraffic(transport); }

  sim::ChipSimulator &chip = PlugChip("chip", sim::SampleFirmwareConfig());
  ProgramState state{bus, clock};
  RecordingDialogs dialogs;
  TForm1 form{state, dialogs};
};

} // namespace orvane::testing
