#include "app/BusyNotice.h"
#include "app/WindowUpdateStatusView.h"
#include "isp/OneButtonUpdate.h"
#include "isp/UpdateFileLookup.h"
#include "program/ConnectionMonitor.h"
#include "program/MessagePump.h"
#include "program/ProgressText.h"
#include "sim/IntelHexWriter.h"
#include "support/WindowTestSupport.h"
#include "ui_Unit1.h"
#include "usb/DeviceTable.h"

#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace orvane;
using namespace orvane::testing;

namespace {

// The text, measured with the label's own font, fits the label whole.
void VerifyFits(const QLabel &label) {
  const int needed = QFontMetrics(label.font()).horizontalAdvance(label.text());
  const int room = label.contentsRect().width();
  QVERIFY2(needed <= room, qPrintable(QString("%1 \"%2\": %3 pixels of text in %4 (%5, %6 px)")
                                          .arg(label.objectName(), label.text())
                                          .arg(needed)
                                          .arg(room)
                                          .arg(QFontInfo(label.font()).family())
                                          .arg(label.font().pixelSize())));
}

void WriteFile(const QString &path, const std::string &bytes) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

} // namespace

// Every text the update panel puts into its controls, measured with the
// control's font against the control's width. ctest runs this at 96 dpi,
// at 1.25 scaling and at a font resolution of 120 dpi.
class TextFitTest : public QObject {
  Q_OBJECT

  std::unique_ptr<StartedWindow> started;
  QString previousDir;
  Ui::TForm1 &c() { return started->form.Controls(); }

private slots:
  void init() {
    started = ShowStartedWindow();
    QVERIFY(started);
    started->form.Timer1()->stop();
    previousDir = QDir::currentPath();
  }
  void cleanup() {
    QDir::setCurrent(previousDir);
    started.reset();
  }

  void theDesignFontsAreSizedInPixels() {
    // 16-pixel and 21-pixel fonts of the design, whatever the font resolution.
    QCOMPARE(c().lblDetectDevice->font().pixelSize(), 16);
    QCOMPARE(c().lblUpdaeFileStatus->font().pixelSize(), 16);
    QCOMPARE(c().lblISPProcStatus->font().pixelSize(), 21);
    QCOMPARE(started->form.font().pixelSize(), 11);
  }

  void everyModelsLinesFit_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<bool>("valid");
    for (int row = 0; row < kDeviceTableRows; ++row)
      for (const char *extension : {".hex", ".bin"})
        for (bool valid : {true, false})
          QTest::addRow("%s%s %s", DeviceTable[row].filePrefix, extension, valid ? "ready" : "refused")
              << row << QString(extension) << valid;
  }
  void everyModelsLinesFit() {
    QFETCH(int, row);
    QFETCH(QString, extension);
    QFETCH(bool, valid);
    QTemporaryDir dir;
    QVERIFY(QDir::setCurrent(dir.path()));
    const QString name = QString(DeviceTable[row].filePrefix) + extension;
    const std::vector<uint8_t> image(0x800, 0x5A);
    if (extension == ".hex")
      WriteFile(dir.filePath(name), valid ? sim::WriteIntelHex(image.data(), image.size()) : "not a HEX record\n");
    else
      WriteFile(dir.filePath(name), valid ? std::string(image.begin(), image.end()) : std::string(0x40001, '\0'));

    started->state.DeviceRow = static_cast<uint8_t>(row);
    started->form.ReadProgramFile1();
    const QString expected = kUpdateFileLead + name + (valid ? kUpdateFileReady : kUpdateFileNotValid);
    QCOMPARE(c().lblUpdaeFileStatus->text(), expected);
    VerifyFits(*c().lblUpdaeFileStatus);

    c().lblDetectDevice->setText(QString(kFindDeviceLead) + DeviceTable[row].displayName);
    VerifyFits(*c().lblDetectDevice);
  }

  void theDeviceAndFileLinesFit() {
    for (const char *text : {kNoDeviceCaption, kUpdateDevice3B5DCaption, kUpdateDevice0C7ECaption}) {
      c().lblDetectDevice->setText(text);
      VerifyFits(*c().lblDetectDevice);
    }
    c().lblUpdaeFileStatus->setText(kNoUpdatedFile);
    VerifyFits(*c().lblUpdaeFileStatus);
  }

  void everyStatusFits_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("tone");
    for (const char *step : {"Enter ISP Mode", "Clear Status register", "Flash Erase All .........", "Erase Flash Fail",
                             "Start Blanking Check", "Blanking Success", "Start Programming", "Programming Success",
                             "Start Verifying Check", "Verifying Success"})
      QTest::newRow(step) << QString(step) << static_cast<int>(StatusTone::Normal);
    QTest::newRow("retry") << "ISP Fail and retry" << static_cast<int>(StatusTone::Retry);
    QTest::newRow("success") << kUpdateSuccess << static_cast<int>(StatusTone::Success);
    QTest::newRow("fail") << kUpdateFail << static_cast<int>(StatusTone::Failure);
    QTest::newRow("abort") << kUpdateAbort << static_cast<int>(StatusTone::Failure);
  }
  void everyStatusFits() {
    QFETCH(QString, text);
    QFETCH(int, tone);
    NoMessagePump pump;
    WindowUpdateStatusView(*c().lblISPProcStatus, pump).ShowStatus(text.toStdString(), static_cast<StatusTone>(tone));
    QCOMPARE(c().lblISPProcStatus->text(), text);
    VerifyFits(*c().lblISPProcStatus);
  }

  void theProgressLineFits() {
    auto *line = started->form.findChild<QLabel *>("lblUpdateProgress");
    QVERIFY(line);
    WalkProgress longest;
    longest.phase = FlashPhase::BlankCheck;
    longest.done = 1;
    longest.total = 4096;
    longest.percent = 100;
    longest.bytes = 16'777'216;
    longest.totalBytes = 16'777'216;
    longest.elapsedUs = 36'000'000'000;
    longest.remainingUs = 36'000'000'000;
    line->setText(QString::fromStdString(ProgressLine(longest, false)));
    VerifyFits(*line);
  }

  void theNoticesFit() {
    started->state.monitor.ActionRunning = true;
    started->state.monitor.Busy = true;
    QCloseEvent close;
    QApplication::sendEvent(&started->form, &close);
    auto *notice = started->form.findChild<QLabel *>("lblBusyNotice");
    QVERIFY(notice);
    VerifyFits(*notice);
    started->state.monitor.Busy = false;
    QApplication::sendEvent(&started->form, &close);
    VerifyFits(*notice);
    started->state.monitor.ActionRunning = false;
    QCOMPARE(started->form.UseUpdateSource(QDir::rootPath()), QString());
    started->state.monitor.UpdateDone = true;
    ShowBusyNotice(started->form, started->state.monitor, started->form.UseUpdateSource(QDir::rootPath()));
    VerifyFits(*notice);
  }
};

QTEST_MAIN(TextFitTest)
#include "text_fit_test.moc"
