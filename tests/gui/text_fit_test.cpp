#include "app/BusyNotice.h"
#include "app/Dialogs.h"
#include "app/ReasonLine.h"
#include "app/WindowUpdateStatusView.h"
#include "isp/ErasedImage.h"
#include "isp/FlashCapacity.h"
#include "isp/OneButtonUpdate.h"
#include "isp/UpdateFileLookup.h"
#include "program/ConnectionMonitor.h"
#include "program/MessagePump.h"
#include "program/ProgressText.h"
#include "program/UpdateConfirmation.h"
#include "program/UpdatePanelOutcome.h"
#include "sim/IntelHexWriter.h"
#include "support/WindowTestSupport.h"
#include "ui_Unit1.h"
#include "usb/DeviceTable.h"

#include <QAction>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

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

// The reason line shows reason whole, within its own height.
void VerifyShownWhole(const ReasonLine &line, const QString &reason) {
  QCOMPARE(line.Reason(), reason);
  QVERIFY2(line.text() == reason, qPrintable(QString("shortened to \"%1\"").arg(line.text())));
  QVERIFY2(line.heightForWidth(line.width()) <= line.height(),
           qPrintable(QString("%1 pixels of text in %2").arg(line.heightForWidth(line.width())).arg(line.height())));
}

UpdateVerdict Refused(std::string refusal) {
  UpdateVerdict verdict;
  verdict.refusal = std::move(refusal);
  return verdict;
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
    // The 16-pixel and 21-pixel fonts of Unit1.ui, whatever the font resolution.
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

  // The longest refusals and reasons the update panel gives, each below
  // its verdict or in place of it, whole and without hovering.
  void theLongRefusalsAndReasonsFit_data() {
    QTest::addColumn<QString>("reason");
    QTest::newRow("capacity") << QString::fromStdString(
        UpdateOutcome(Refused(ImageCapacityRefusal(16'777'216, {0xC2, 0x20, 0x17}) + "; nothing was erased")).reason);
    QTest::newRow("erased image") << QString::fromStdString(
        UpdateOutcome(Refused(std::string("The image was refused: ") + kErasedImageRefusal)).reason);
    QTest::newRow("busy") << QString(kDeviceBusyReason);
    QTest::newRow("not left ISP mode") << QString(
        "the new firmware was written and verified, but the device did not leave ISP mode: unplug it and "
        "plug it in again");
    QTest::newRow("not protected") << QString("the new firmware was written and verified, but the flash could not be "
                                              "protected: the device stopped answering");
    QTest::newRow("time limit") << QString("the update ran past its time limit of 86400 s; the device was not changed");
    QTest::newRow("stuck bit") << QString("Verifying Fail at 0xFFFFFF");
    QTest::newRow("bad file") << QString("Orvane MR810.bin was not loaded: the file holds text, not a firmware image.");
  }
  void theLongRefusalsAndReasonsFit() {
    QFETCH(QString, reason);
    auto *line = started->form.findChild<ReasonLine *>("lblReason");
    QVERIFY(line);
    line->ShowReason(ReasonOf::Update, reason);
    VerifyShownWhole(*line, reason);
  }

  // The busy refusal keeps the status line with the longest process id.
  void theBusyStatusFits() {
    const PanelOutcome busy = LockRefusalOutcome(
        {DeviceErrorKind::Busy, "device busy: another update is running (pid " + std::to_string(4'194'304) + ")"});
    NoMessagePump pump;
    WindowUpdateStatusView(*c().lblISPProcStatus, pump).ShowStatus(busy.status, busy.tone);
    VerifyFits(*c().lblISPProcStatus);
  }

  // A reason longer than its lines is shortened in the middle, and the
  // whole is in the tooltip and on the clipboard.
  void aReasonLongerThanItsLinesIsShortenedInTheMiddle() {
    auto *line = started->form.findChild<ReasonLine *>("lblReason");
    const QString path = "/home/someone/" + QString("very-long-folder-name/").repeated(12) + "Orvane_R62.hex";
    const QString reason = path + " cannot be used: the file does not exist.";
    line->ShowReason(ReasonOf::UpdateFile, reason);
    QVERIFY(line->text() != reason);
    QVERIFY(line->text().contains(QChar(0x2026)));
    QVERIFY(line->text().startsWith("/home/someone/"));
    QVERIFY(line->text().endsWith("does not exist."));
    QVERIFY(line->heightForWidth(line->width()) <= line->height());
    QCOMPARE(line->toolTip(), reason);
    QCOMPARE(line->actions().size(), 1);
    line->actions().front()->trigger();
    QCOMPARE(QGuiApplication::clipboard()->text(), reason);
  }

  // The question's warning of a file named for another model wraps in its
  // box, which stays on the screen.
  void theOtherModelWarningFitsItsQuestion() {
    ImageRecord image;
    image.ImageFileName = "/home/someone/Downloads/Orvane MR810.bin";
    image.ImageLength = 0x8000;
    const ModelRow *longest = &kModels[0];
    for (const ModelRow &model : kModels)
      if (std::string(model.displayName).size() > std::string(longest->displayName).size())
        longest = &model;
    const ModelRow *other = longest == &kModels[0] ? &kModels[1] : &kModels[0];
    const QString details = QString::fromStdString(UpdateConfirmationDetails(image, other));
    QVERIFY(details.contains("named for"));
    QtDialogs dialogs;
    bool seen = false;
    QTimer::singleShot(0, [&] {
      auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
      QVERIFY(box);
      seen = true;
      auto *label = box->findChild<QLabel *>("qt_msgbox_informativelabel");
      QVERIFY(label);
      QCOMPARE(label->text(), details);
      QVERIFY(label->heightForWidth(label->width()) <= label->height());
      QVERIFY(box->frameGeometry().width() <= box->screen()->availableGeometry().width());
      box->button(QMessageBox::Cancel)->click();
    });
    QVERIFY(!dialogs.Confirm(&started->form, "Warning", kUpdateQuestion, details));
    QVERIFY(seen);
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
