#include "app/Indicator.h"
#include "support/WindowTestSupport.h"
#include "testing/ScriptedDevice.h"
#include "testing/SimulatedDeviceStack.h"
#include "ui_Unit1.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace orvane;
using namespace orvane::testing;

namespace {

UsbDeviceInfo R62() {
  UsbDeviceInfo info;
  info.vendorId = 0x3b5d;
  info.productId = 0xf0b8;
  info.hasAudioInterface = true;
  return info;
}

void WriteFile(const QString &path, const QByteArray &bytes) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(bytes);
}

} // namespace

// The simple window following a device through the connection monitor,
// with the update file looked up in the working directory.
class MonitorWindowTest : public QObject {
  Q_OBJECT

  QTemporaryDir workDir;
  QString previousDir;
  std::unique_ptr<SimulatedDeviceStack> devices;
  std::unique_ptr<StartedWindow> started;
  ScriptedDevice r62{R62()};

  Ui::TForm1 &c() { return started->form.Controls(); }
  void Tick(int n) {
    for (int i = 0; i < n; ++i)
      started->form.Timer1Timer(started->form.Timer1());
  }

private slots:
  void init() {
    previousDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(workDir.path()));
    devices = std::make_unique<SimulatedDeviceStack>();
    started = std::make_unique<StartedWindow>(*devices);
  }
  void cleanup() {
    started.reset();
    devices.reset();
    QDir::setCurrent(previousDir);
    QFile::remove(workDir.filePath("Orvane_R62.hex"));
  }

  void aPluggedModelWithItsFileEnablesStart() {
    WriteFile(workDir.filePath("Orvane_R62.hex"), ":040000001122334452\r\n:00000001FF\r\n");
    devices->Plug("r62", r62);
    Tick(16); // one rotation reaches every target
    QCOMPARE(c().lblDetectDevice->text(), QString("Find Device Orvane-R62"));
    QCOMPARE(c().lblUpdaeFileStatus->text(), QString("Firmware Update file   Orvane_R62.hex    is Ready!"));
    QCOMPARE(IndicatorColourOf(*c().pnlUSBExist), QColor(0, 255, 0));
    QVERIFY(c().btnSimpleAuto->isEnabled());
    QCOMPARE(started->form.Timer1()->interval(), 1000);

    devices->Unplug("r62");
    Tick(1);
    QCOMPARE(c().lblDetectDevice->text(), QString("No device is available"));
    QVERIFY(!c().btnSimpleAuto->isEnabled());
    QVERIFY(IndicatorColourOf(*c().pnlUSBExist) != QColor(0, 255, 0));
  }

  void aModelWithoutItsFileKeepsStartDisabledUntilTheFileComes() {
    devices->Plug("r62", r62);
    Tick(16);
    QCOMPARE(c().lblDetectDevice->text(), QString("Find Device Orvane-R62"));
    QCOMPARE(c().lblUpdaeFileStatus->text(), QString("No Updated File !"));
    QVERIFY(!c().btnSimpleAuto->isEnabled());
    WriteFile(workDir.filePath("Orvane_R62.hex"), ":040000001122334452\r\n:00000001FF\r\n");
    Tick(1);
    QVERIFY(c().btnSimpleAuto->isEnabled());
  }

  void aBrokenUpdateFileIsNamedAndDoesNotEnableStart() {
    WriteFile(workDir.filePath("Orvane_R62.hex"), ":040000001122334453\r\n:00000001FF\r\n");
    devices->Plug("r62", r62);
    Tick(16);
    QVERIFY(c().lblUpdaeFileStatus->text().contains("Orvane_R62.hex"));
    QVERIFY(!c().lblUpdaeFileStatus->text().contains("is Ready!"));
    QVERIFY(!c().btnSimpleAuto->isEnabled());
    QVERIFY(IndicatorColourOf(*c().pnlUSBExist) != QColor(0, 255, 0));
  }

  void switchingDetectionOffGreysTheIndicator() {
    c().chkDetectUSB->setChecked(false);
    QCOMPARE(IndicatorColourOf(*c().pnlUSBExist), QColor(128, 128, 128));
    QVERIFY(c().lbledtVID->isEnabled());
    c().chkDetectUSB->setChecked(true);
    QVERIFY(!c().lbledtVID->isEnabled());
  }
};

QTEST_MAIN(MonitorWindowTest)
#include "monitor_window_test.moc"
