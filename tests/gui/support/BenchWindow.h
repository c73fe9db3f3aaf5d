#pragma once

#include "WindowTestSupport.h"
#include "tests/unit/register_bench.h"
#include "ui_Unit1.h"

#include <QTest>
#include <QTimer>

namespace orvane::testing {

// The window on a device with a register file, in the service view with
// one page open. The connection monitor's timer is stopped: the tests find
// the device themselves.
struct BenchWindow {
  BenchWindow() : form(bench.state, dialogs) {}

  void Open(QWidget *page) {
    form.Timer1()->stop();
    form.SetServiceView(true);
    c().MainPageControl->setCurrentWidget(page);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    bench.transport.ClearTransfers();
  }
  Ui::TForm1 &c() { return form.Controls(); }

  test::RegisterBench bench;
  RecordingDialogs dialogs;
  TForm1 form;
};

} // namespace orvane::testing
