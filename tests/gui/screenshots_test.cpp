#include "app/ReasonLine.h"
#include "app/ServiceViewLayout.h"
#include "isp/OneButtonUpdate.h"
#include "program/UpdatePanelOutcome.h"
#include "sim/IntelHexWriter.h"
#include "support/WindowTestSupport.h"
#include "testing/SimulatedDeviceStack.h"
#include "ui_Unit1.h"
#include "usb/DeviceLock.h"

#include <QDir>
#include <QFile>
#include <QScreen>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace orvane;
using namespace orvane::testing;

namespace {

std::vector<uint8_t> ImageBytes(size_t count) {
  std::vector<uint8_t> bytes(count);
  for (size_t i = 0; i < count; ++i)
    bytes[i] = static_cast<uint8_t>(0x21 + i * 13 + (i >> 8) * 7);
  return bytes;
}

void WriteFile(const QString &path, const std::string &bytes) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

// Intel HEX text of image whose fifth line's checksum is off by one.
std::string HexWithBadFifthLine(const std::vector<uint8_t> &image) {
  std::string text = sim::WriteIntelHex(image.data(), image.size());
  size_t end = 0;
  for (int line = 0; line < 5; ++line)
    end = text.find('\n', line == 0 ? 0 : end + 1);
  if (text[end - 1] == '\r')
    --end;
  char &digit = text[end - 1];
  digit = digit == '0' ? '1' : '0';
  return text;
}

} // namespace

// The window as a person sees it at the end of each case below,
// on a 1024 x 768 screen: each case checks that its reason is there in
// full, on the window and not only in a tooltip, and writes a picture to
// $ORVANE_SCREENSHOTS (ctest runs it at 96 dpi, at 1.25 scaling and at a
// font resolution of 120 dpi, into build/screenshots/<set>/).
class ScreenshotsTest : public QObject {
  Q_OBJECT

  QTemporaryDir workDir;
  QString previousDir;
  std::unique_ptr<SimulatedDeviceStack> devices;
  std::unique_ptr<StartedWindow> started;
  sim::ChipSimulator *chip = nullptr;

  Ui::TForm1 &c() { return started->form.Controls(); }
  ReasonLine &Reason() { return *started->form.findChild<ReasonLine *>("lblReason"); }
  void Tick(int n) {
    for (int i = 0; i < n; ++i)
      started->form.Timer1Timer(started->form.Timer1());
  }
  void Plug(const char *part) {
    sim::SimConfig config;
    config.flashPart = *sim::FindFlashPart(part);
    config.initialFlash = std::vector<uint8_t>(0x3000, 0x55);
    chip = &devices->PlugChip("r62", config);
    Tick(16);
  }
  void Start() {
    started->dialogs.confirmAnswer = true;
    QTest::mouseClick(c().btnSimpleAuto, Qt::LeftButton);
  }
  // The reason is on the window whole, readable without hovering.
  void VerifyReasonShownWhole(const QString &reason) {
    QCOMPARE(Reason().Reason(), reason);
    QVERIFY(Reason().isVisible());
    QCOMPARE(Reason().text(), reason);
    QVERIFY2(Reason().heightForWidth(Reason().width()) <= Reason().height(), qPrintable(reason));
    QCOMPARE(Reason().toolTip(), reason);
  }
  void Save(const QString &name) {
    const QString folder = qEnvironmentVariable("ORVANE_SCREENSHOTS");
    if (folder.isEmpty())
      return;
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(started->form.grab().save(QDir(folder).filePath(name + ".png")));
  }

private slots:
  void init() {
    previousDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(workDir.path()));
    devices = std::make_unique<SimulatedDeviceStack>();
    started = ShowStartedWindow(*devices);
    QVERIFY(started);
    started->form.Timer1()->stop();
  }
  void cleanup() {
    started.reset();
    devices.reset();
    QDir::setCurrent(previousDir);
    for (const QString &name : QDir(workDir.path()).entryList(QDir::Files))
      QFile::remove(workDir.filePath(name));
  }

  void theScreenIsTheOneAsked() {
    if (qEnvironmentVariableIsEmpty("ORVANE_SCREENSHOTS"))
      QSKIP("no screenshot set asked for");
    const QSize screen = started->form.screen()->geometry().size() * started->form.devicePixelRatio();
    QCOMPARE(screen, QSize(1024, 768));
  }

  void aBadFile() {
    WriteFile(workDir.filePath("Orvane_R62.hex"), HexWithBadFifthLine(ImageBytes(0x1000)));
    Plug("C22012");
    QVERIFY(c().lblUpdaeFileStatus->text().endsWith("found but not valid!"));
    VerifyReasonShownWhole("Orvane_R62.hex was not loaded: line 5: the record checksum does not match.");
    Save("bad-file");
  }

  void aCapacityRefusal() {
    const auto image = ImageBytes(0x30000);
    WriteFile(workDir.filePath("Orvane_R62.hex"), sim::WriteIntelHex(image.data(), image.size()));
    Plug("C22011");
    Start();
    QCOMPARE(c().lblISPProcStatus->text(), QString(kUpdateFail));
    VerifyReasonShownWhole("The image (196608 bytes) is larger than the flash of this device (131072 bytes, "
                           "identifier C2 22 11); nothing was erased.");
    Save("capacity-refusal");
  }

  void anUnplugVerdict() {
    const auto image = ImageBytes(0x20000);
    WriteFile(workDir.filePath("Orvane_R62.hex"), sim::WriteIntelHex(image.data(), image.size()));
    Plug("C22012");
    chip->SetTransferObserver(
        [this, unplugged = false](const SetupPacket &setup, const uint8_t *data, const TransferResult &) mutable {
          if (!unplugged && !setup.isIn() && setup.request == vendor::kFlashWrite && data[0] == flashop::kPageProgram) {
            unplugged = true;
            chip->UnplugAfter(100);
          }
        });
    Start();
    QCOMPARE(c().lblISPProcStatus->text(), QString(kUpdateFail));
    QVERIFY(!Reason().Reason().isEmpty());
    VerifyReasonShownWhole(Reason().Reason());
    QVERIFY2(Reason().Reason().contains("disconnected"), qPrintable(Reason().Reason()));
    Save("unplug-verdict");
  }

  // A cell that reads one bit wrong after it was programmed, in every
  // attempt: the verify names its address.
  void aStuckBitVerdict() {
    const auto image = ImageBytes(0x1000);
    WriteFile(workDir.filePath("Orvane_R62.hex"), sim::WriteIntelHex(image.data(), image.size()));
    Plug("C22012");
    chip->SetTransferObserver(
        [this, armed = false](const SetupPacket &setup, const uint8_t *data, const TransferResult &) mutable {
          if (setup.isIn() || setup.request != vendor::kFlashWrite || setup.length == 0)
            return;
          if (data[0] == flashop::kChipErase) {
            chip->Flash().Faults().Clear();
            armed = false;
          } else if (data[0] == flashop::kPageProgram && !armed) {
            chip->Flash().Faults().FlipOnRead(0x800, 0x01, true);
            armed = true;
          }
        });
    Start();
    QCOMPARE(c().lblISPProcStatus->text(), QString(kUpdateFail));
    QVERIFY2(Reason().Reason().contains("Verifying Fail at 0x000800"), qPrintable(Reason().Reason()));
    VerifyReasonShownWhole(Reason().Reason());
    Save("stuck-bit-verdict");
  }

  void theBusyMessage() {
#ifdef _WIN32
    QSKIP("the lock is a Linux file lock here");
#else
    const auto image = ImageBytes(0x1000);
    WriteFile(workDir.filePath("Orvane_R62.hex"), sim::WriteIntelHex(image.data(), image.size()));
    const QString locks = workDir.filePath("locks");
    QVERIFY(QDir().mkpath(locks));
    started->state.usb.UseDeviceLocks(locks.toStdString());
    Plug("C22012");
    DeviceLock other;
    QCOMPARE(other.TryAcquire(locks.toStdString(), VantrelUsb::LockKey(started->state.usb.DevicePath())),
             DeviceLock::Outcome::Acquired);
    Start();
    QVERIFY2(c().lblISPProcStatus->text().startsWith("device busy: another update is running"),
             qPrintable(c().lblISPProcStatus->text()));
    VerifyReasonShownWhole(kDeviceBusyReason);
    QVERIFY(!c().btnSimpleAuto->isEnabled());
    Save("busy-message");
    other.Release();
    QDir(locks).removeRecursively();
#endif
  }

  void theServiceView() {
    started->form.SetServiceView(true);
    c().MainPageControl->setCurrentWidget(c().PageISPCtrl);
    QApplication::processEvents();
    const QRect free = started->form.screen()->availableGeometry();
    QVERIFY2(started->form.frameGeometry().height() <= free.height(),
             qPrintable(QString("%1 > %2").arg(started->form.frameGeometry().height()).arg(free.height())));
    Save("service-view");
    // What does not fit scrolls into view.
    auto *pages = started->form.findChild<QScrollArea *>("ServicePages");
    QVERIFY(pages);
    pages->ensureWidgetVisible(c().btnReadBack);
    QApplication::processEvents();
    for (QWidget *button : {c().btnReadBack, c().Button1}) {
      const QRect shown(button->mapTo(pages->viewport(), QPoint()), button->size());
      QVERIFY2(pages->viewport()->rect().contains(shown), qPrintable(button->objectName()));
    }
    Save("service-view-scrolled");
  }
};

QTEST_MAIN(ScreenshotsTest)
#include "screenshots_test.moc"
