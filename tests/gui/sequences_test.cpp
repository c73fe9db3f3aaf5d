#include "app/Dialogs.h"
#include "app/FileDialogFilters.h"
#include "app/ReasonLine.h"
#include "app/Unit1.h"
#include "app/WindowUpdateStatusView.h"
#include "isp/FlashParts.h"
#include "isp/HexText.h"
#include "isp/OneButtonUpdate.h"
#include "program/MessagePump.h"
#include "program/UpdatePanelOutcome.h"
#include "program/UpdateRecords.h"
#include "sim/IntelHexWriter.h"
#include "support/WindowTestSupport.h"
#include "testing/SimulatedDeviceStack.h"
#include "ui_Unit1.h"
#include "usb/ChipCommands.h"
#include "usb/DeviceLock.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <functional>
#include <memory>

using namespace orvane;
using namespace orvane::testing;

namespace {

// The program as started, with the window's real message boxes.
struct QtDialogsWindow {
  explicit QtDialogsWindow(SimulatedDeviceStack &devices)
      : clock(devices.clock), state(devices.bus, clock), form(state, dialogs) {}
  VirtualClock &clock;
  ProgramState state;
  QtDialogs dialogs;
  TForm1 form;
};

// What the confirmation box showed before the test answered it.
struct SeenBox {
  bool seen = false;
  QString title, text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons;
};

// Answers the next modal message box with the given button, once it is up.
void AnswerNextBox(QMessageBox::StandardButton press, SeenBox &seen) {
  auto *poll = new QTimer;
  poll->setInterval(5);
  QObject::connect(poll, &QTimer::timeout, [poll, press, &seen] {
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (!box)
      return;
    poll->stop();
    poll->deleteLater();
    seen = {true, box->windowTitle(), box->text(), box->icon(), box->standardButtons()};
    box->button(press)->click();
  });
  poll->start();
}

// Runs action during the message-loop turns of a running action, the
// first time condition holds.
void WhenPumped(std::function<bool()> condition, std::function<void()> action) {
  auto *poll = new QTimer;
  poll->setInterval(0);
  QObject::connect(poll, &QTimer::timeout, [poll, condition, action] {
    if (!condition())
      return;
    poll->stop();
    poll->deleteLater();
    action();
  });
  poll->start();
}

std::vector<uint8_t> ImageBytes(size_t count, uint8_t seed) {
  std::vector<uint8_t> bytes(count);
  for (size_t i = 0; i < count; ++i)
    bytes[i] = static_cast<uint8_t>(seed + i * 13 + (i >> 8) * 7);
  return bytes;
}

void WriteFile(const QString &path, const std::string &bytes) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

QColor TextColour(const QLabel &label) {
  return label.palette().color(QPalette::WindowText);
}

const QColor kRed(255, 0, 0);
const QColor kBlue(0, 0, 255);

} // namespace

// The update sequences and the read-back, clicked in the window, on a
// simulated Orvane-R62 that the connection monitor finds.
class SequencesTest : public QObject {
  Q_OBJECT

  QTemporaryDir workDir;
  QString previousDir;
  std::unique_ptr<SimulatedDeviceStack> devices;
  std::unique_ptr<StartedWindow> recorded;   // message boxes recorded
  std::unique_ptr<QtDialogsWindow> answered; // real message boxes
  sim::ChipSimulator *chip = nullptr;
  TForm1 *form = nullptr;
  ProgramState *state = nullptr;
  VirtualClock *clock = nullptr;
  std::vector<uint8_t> oldFirmware;

  Ui::TForm1 &c() { return form->Controls(); }
  ReasonLine &Reason() { return *form->findChild<ReasonLine *>("lblReason"); }
  void Tick(int n) {
    for (int i = 0; i < n; ++i)
      form->Timer1Timer(form->Timer1());
  }
  void StartWindow(bool realBoxes) {
    if (realBoxes) {
      answered = std::make_unique<QtDialogsWindow>(*devices);
      form = &answered->form;
      state = &answered->state;
      clock = &answered->clock;
    } else {
      recorded = std::make_unique<StartedWindow>(*devices);
      form = &recorded->form;
      state = &recorded->state;
      clock = &recorded->clock;
    }
  }
  // An Orvane-R62 running older firmware, with the given flash part.
  void Plug(const char *part) {
    sim::SimConfig config;
    config.flashPart = *sim::FindFlashPart(part);
    oldFirmware = ImageBytes(0x3000, 0x55);
    config.initialFlash = oldFirmware;
    chip = &devices->PlugChip("r62", config);
  }
  void WriteUpdateFile(const std::vector<uint8_t> &image) {
    WriteFile(workDir.filePath("Orvane_R62.hex"), sim::WriteIntelHex(image.data(), image.size()));
  }
  // Plugged, found and its update file loaded: "Start" is enabled.
  void ReadyToStart(const char *part, const std::vector<uint8_t> &image) {
    WriteUpdateFile(image);
    Plug(part);
    Tick(16);
    QCOMPARE(c().lblDetectDevice->text(), QString("Find Device Orvane-R62"));
    QVERIFY(c().btnSimpleAuto->isEnabled());
  }
  bool FlashHolds(const std::vector<uint8_t> &image, uint32_t at = 0) {
    const auto &flash = chip->Flash().Contents();
    return std::equal(image.begin(), image.end(), flash.begin() + at);
  }
  uint8_t KeptStatus() { return chip->Flash().Status() & chip->Config().flashPart.statusWritableMask; }
  uint8_t ProtectedStatus() {
    const auto &part = chip->Config().flashPart;
    return FlashPartFor(part.jedecId).protectValue & part.statusWritableMask;
  }
  void VerifyVerdict(const QString &text, const QColor &colour) {
    QCOMPARE(c().lblISPProcStatus->text(), text);
    QCOMPARE(TextColour(*c().lblISPProcStatus), colour);
    QCOMPARE(c().lblISPProcStatus->font().pixelSize(), 21);
    QCOMPARE(c().btnSimpleAuto->text(), QString("Finish"));
    QVERIFY(!c().btnSimpleAuto->isEnabled());
    QVERIFY(state->monitor.UpdateDone);
    QVERIFY(!state->monitor.Busy);
    QVERIFY(!state->monitor.ActionRunning);
  }
  // Puts the chip into ISP mode, as the Enter ISP button does.
  void EnterIsp() {
    QVERIFY(state->usb.Open());
    QVERIFY(ChipCommands(state->usb, *clock, state->flash.FlashId).SetIspMode(true));
    state->usb.Close();
  }

private slots:
  void init() {
    previousDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(workDir.path()));
    devices = std::make_unique<SimulatedDeviceStack>();
  }
  void cleanup() {
    recorded.reset();
    answered.reset();
    devices.reset();
    QDir::setCurrent(previousDir);
    for (const QString &name : QDir(workDir.path()).entryList(QDir::Files))
      QFile::remove(workDir.filePath(name));
  }

  // --- the one-button update

  void startAndOkUpdateTheFlash_data() {
    QTest::addColumn<QString>("part");
    QTest::addColumn<bool>("fillsThePart");
    for (const char *part : {"C22012", "C22011", "EF4012", "BF258C"}) {
      QTest::addRow("%s whole part", part) << QString(part) << true;
      QTest::addRow("%s small image", part) << QString(part) << false;
    }
  }
  void startAndOkUpdateTheFlash() {
    QFETCH(QString, part);
    QFETCH(bool, fillsThePart);
    StartWindow(true);
    const uint32_t partBytes = sim::FindFlashPart(part.toStdString())->sizeBytes;
    const auto image = ImageBytes(fillsThePart ? partBytes : 1000, 0x21);
    ReadyToStart(part.toLatin1().constData(), image);

    // What the window shows while the flash is being programmed.
    QString runningCaption, runningStep;
    bool runningEnabled = true, runningBusy = false;
    int runningPixels = 0;
    QColor runningColour;
    chip->SetTransferObserver([&](const SetupPacket &setup, const uint8_t *, const TransferResult &) {
      if (runningCaption.isEmpty() && setup.request == vendor::kFlashWrite &&
          c().lblISPProcStatus->text() == "Start Programming") {
        runningCaption = c().btnSimpleAuto->text();
        runningEnabled = c().btnSimpleAuto->isEnabled();
        runningBusy = state->monitor.Busy;
        runningStep = c().lblISPProcStatus->text();
        runningPixels = c().lblISPProcStatus->font().pixelSize();
        runningColour = TextColour(*c().lblISPProcStatus);
      }
    });
    SeenBox box;
    AnswerNextBox(QMessageBox::Ok, box);
    QTest::mouseClick(c().btnSimpleAuto, Qt::LeftButton);

    QVERIFY(box.seen);
    QCOMPARE(box.title, QString("Warning"));
    QCOMPARE(box.text, QString(kUpdateQuestion));
    QCOMPARE(box.icon, QMessageBox::Warning);
    QCOMPARE(box.buttons, QMessageBox::Ok | QMessageBox::Cancel);
    QCOMPARE(runningCaption, QString("Stop"));
    QVERIFY(!runningEnabled);
    QVERIFY(runningBusy);
    QCOMPARE(runningPixels, 16);
    QCOMPARE(runningColour, QApplication::palette().color(QPalette::WindowText));

    VerifyVerdict("Firmware update success!", kBlue);
    QVERIFY(FlashHolds(image));
    if (!fillsThePart) {
      const auto &flash = chip->Flash().Contents();
      QVERIFY(std::all_of(flash.begin() + 1000, flash.end(), [](uint8_t b) { return b == 0xFF; }));
    }
    QCOMPARE(KeptStatus(), ProtectedStatus());
    QVERIFY(!chip->InIspMode());

    // The monitor has stopped: an unplug changes nothing any more.
    devices->Unplug("r62");
    Tick(3);
    QCOMPARE(c().lblDetectDevice->text(), QString("Find Device Orvane-R62"));
  }

  // What the service pages do to their image before Start does not reach
  // the update: it programs the file the panel names, and the question
  // says which file that is.
  void startProgramsTheNamedFileWhateverThePagesLoadedBefore_data() {
    QTest::addColumn<QString>("page");
    QTest::newRow("the ISP page's Save") << QString("Button1");
    QTest::newRow("Current File") << QString("CurrentFileBitBtn");
  }
  void startProgramsTheNamedFileWhateverThePagesLoadedBefore() {
    QFETCH(QString, page);
    StartWindow(false);
    recorded->dialogs.confirmAnswer = true;
    form->SetServiceView(true);
    const auto image = ImageBytes(0x1000, 0x21);
    ReadyToStart("C22012", image);
    QCOMPARE(c().lblUpdaeFileStatus->text(), QString("Firmware Update file   Orvane_R62.hex    is Ready!"));

    const auto other = ImageBytes(0x2000, 0x77);
    WriteFile(workDir.filePath("other.bin"), std::string(other.begin(), other.end()));
    recorded->dialogs.openAnswer = workDir.filePath("other.bin");
    auto *button = form->findChild<QAbstractButton *>(page);
    QVERIFY(button && button->isEnabled());
    button->click();
    QVERIFY(state->image.ImageBuffer != state->panelImage.ImageBuffer);
    QCOMPARE(c().lblUpdaeFileStatus->text(), QString("Firmware Update file   Orvane_R62.hex    is Ready!"));

    QTest::mouseClick(c().btnSimpleAuto, Qt::LeftButton);
    QCOMPARE(recorded->dialogs.confirms, QStringList{QString("Warning: ") + kUpdateQuestion});
    const std::string checksum = HexDigits(ImageChecksum(image, static_cast<uint32_t>(image.size())), 4);
    QCOMPARE(recorded->dialogs.confirmDetails,
             QStringList{QString::fromStdString("File: Orvane_R62.hex, checksum 0x" + checksum)});
    VerifyVerdict("Firmware update success!", kBlue);
    QVERIFY(FlashHolds(image));
    QVERIFY(std::all_of(chip->Flash().Contents().begin() + image.size(), chip->Flash().Contents().end(),
                        [](uint8_t b) { return b == 0xFF; }));
  }

  // A file dropped or given that is named for another model is warned of
  // by name in the question.
  void theQuestionWarnsOfAFileNamedForAnotherModel() {
    StartWindow(false);
    ReadyToStart("C22012", ImageBytes(0x1000, 0x21));
    const auto r61 = ImageBytes(0x800, 0x61);
    WriteFile(workDir.filePath("orvane_r61.hex"), sim::WriteIntelHex(r61.data(), r61.size()));
    QCOMPARE(form->UseUpdateSource(workDir.filePath("orvane_r61.hex")), QString());
    QVERIFY(c().btnSimpleAuto->isEnabled());
    recorded->dialogs.confirmAnswer = false;
    QTest::mouseClick(c().btnSimpleAuto, Qt::LeftButton);
    QCOMPARE(recorded->dialogs.confirmDetails.size(), 1);
    const QStringList lines = recorded->dialogs.confirmDetails.first().split('\n');
    QCOMPARE(lines.size(), 2);
    QVERIFY(lines[0].startsWith("File: orvane_r61.hex, checksum 0x"));
    QCOMPARE(lines[1], QString("This file is named for Orvane-R61; the attached device is an Orvane-R62."));
    QVERIFY(FlashHolds(oldFirmware));
  }

  // The update cut short halfway, the program started again: the device,
  // back in update mode, is offered the same file, by model and name, and
  // Start puts it back.
  void anUpdateCutShortIsPutBackAfterTheProgramStartsAgain() {
    const QString recordsDir = workDir.filePath("state");
    const auto remember = [&] {
      state->records = UpdateRecords(recordsDir.toStdString());
      state->unixNow = [] { return int64_t{1'765'000'000}; };
    };
    StartWindow(false);
    remember();
    recorded->dialogs.confirmAnswer = true;
    const auto image = ImageBytes(0x4000, 0x21);
    ReadyToStart("C22012", image);
    int programs = 0;
    chip->SetTransferObserver([&](const SetupPacket &setup, const uint8_t *data, const TransferResult &) {
      if (!setup.isIn() && setup.request == vendor::kFlashWrite && setup.index == 0 && setup.length == 4 &&
          data[0] == flashop::kPageProgram && ++programs == 20)
        chip->Unplug();
    });
    QTest::mouseClick(c().btnSimpleAuto, Qt::LeftButton);
    VerifyVerdict("Firmware update Fail!", kRed);
    chip->SetTransferObserver({});
    chip->Replug();
    QVERIFY2(chip->InUpdateMode(), "the start of the flash was written before the end");

    // The program again, in a folder without the update file.
    recorded.reset();
    QVERIFY(QDir::setCurrent(QDir::tempPath()));
    StartWindow(false);
    remember();
    recorded->dialogs.confirmAnswer = true;
    Tick(16);
    QCOMPARE(c().lblDetectDevice->text(), QString("Firmware update device 3B5D is exist"));
    QCOMPARE(c().lblUpdaeFileStatus->text(), QString("Firmware Update file   Orvane_R62.hex    is Ready!"));
    QVERIFY(c().btnSimpleAuto->isEnabled());
    QTest::mouseClick(c().btnSimpleAuto, Qt::LeftButton);
    QCOMPARE(recorded->dialogs.confirmDetails.size(), 1);
    QVERIFY2(recorded->dialogs.confirmDetails.first().startsWith(
                 "The update of this Orvane-R62 was interrupted: Start puts its firmware back"),
             qPrintable(recorded->dialogs.confirmDetails.first()));
    VerifyVerdict("Firmware update success!", kBlue);
    QVERIFY(FlashHolds(image));
    QVERIFY(!state->records.Find("r62", "", state->unixNow()));
    QVERIFY(QDir::setCurrent(workDir.path()));
  }

  // Without its file, the recovery says where the file was and asks for it.
  void aRecoveryWhoseFileIsGoneAsksForTheFile() {
    const QString recordsDir = workDir.filePath("state");
    UpdateRecords kept(recordsDir.toStdString());
    QVERIFY(
        kept.Save({"r62", "", "Orvane-R62", workDir.filePath("gone.hex").toStdString(), 4096, 0x1234, 1'765'000'000}));
    StartWindow(false);
    state->records = UpdateRecords(recordsDir.toStdString());
    state->unixNow = [] { return int64_t{1'765'000'001}; };
    sim::SimConfig config = sim::UpdateModeConfig(0x3B5D);
    config.flashPart = *sim::FindFlashPart("C22012");
    chip = &devices->PlugChip("r62", config);
    Tick(16);
    QCOMPARE(c().lblDetectDevice->text(), QString("Firmware update device 3B5D is exist"));
    QVERIFY(!c().btnSimpleAuto->isEnabled());
    QVERIFY2(Reason().Reason().contains("Orvane-R62 was interrupted, and its file " + workDir.filePath("gone.hex") +
                                        " is gone"),
             qPrintable(Reason().Reason()));
  }

  void cancelSendsNothingAndTheMonitorGoesOn() {
    StartWindow(true);
    ReadyToStart("C22012", ImageBytes(0x1000, 0x21));
    const size_t transfersBefore = devices->transport.Transfers().size();
    const uint64_t deviceTransfersBefore = chip->TransferCount();

    SeenBox box;
    AnswerNextBox(QMessageBox::Cancel, box);
    QTest::mouseClick(c().btnSimpleAuto, Qt::LeftButton);

    QVERIFY(box.seen);
    QCOMPARE(devices->transport.Transfers().size(), transfersBefore);
    QCOMPARE(chip->TransferCount(), deviceTransfersBefore);
    QVERIFY(FlashHolds(oldFirmware));
    QCOMPARE(c().lblISPProcStatus->text(), QString("Abort Firmware update process"));
    QCOMPARE(TextColour(*c().lblISPProcStatus), kRed);
    QCOMPARE(c().lblISPProcStatus->font().pixelSize(), 21);
    QCOMPARE(c().btnSimpleAuto->text(), QString("Start"));
    QVERIFY(c().btnSimpleAuto->isEnabled());
    QVERIFY(!state->monitor.Busy);
    QVERIFY(!state->monitor.UpdateDone);

    devices->Unplug("r62");
    Tick(1);
    QCOMPARE(c().lblDetectDevice->text(), QString("No device is available"));
    QVERIFY(!c().btnSimpleAuto->isEnabled());
  }

  // The device is pulled while the question is open: OK finds it gone,
  // sends nothing and says so; the run is not over.
  void aDevicePulledDuringTheQuestionGetsNoAttempt() {
    StartWindow(false);
    recorded->dialogs.confirmAnswer = true;
    ReadyToStart("C22012", ImageBytes(0x1000, 0x21));
    recorded->dialogs.onConfirm = [&] { devices->Unplug("r62"); };
    const size_t transfers = devices->transport.Transfers().size();
    QTest::mouseClick(c().btnSimpleAuto, Qt::LeftButton);

    QCOMPARE(recorded->dialogs.confirms.size(), 1);
    QCOMPARE(devices->transport.Transfers().size(), transfers);
    QCOMPARE(c().lblISPProcStatus->text(), QString("No device is available"));
    QCOMPARE(c().btnSimpleAuto->text(), QString("Start"));
    QVERIFY(!c().btnSimpleAuto->isEnabled());
    QVERIFY(!state->monitor.UpdateDone);
    QVERIFY(!state->monitor.Busy);
    Tick(1);
    QCOMPARE(c().lblDetectDevice->text(), QString("No device is available"));

    // Plugged in again, it is found and updated as before.
    Plug("C22012");
    Tick(16);
    QVERIFY(c().btnSimpleAuto->isEnabled());
    recorded->dialogs.onConfirm = nullptr;
    QTest::mouseClick(c().btnSimpleAuto, Qt::LeftButton);
    VerifyVerdict("Firmware update success!", kBlue);
  }

  void aVerifyFailureInTheFirstAttemptIsRetried() {
    StartWindow(false);
    recorded->dialogs.confirmAnswer = true;
    const auto image = ImageBytes(0x4000, 0x21);
    ReadyToStart("C22012", image);
    // A cell reads wrong from the first program until the second chip erase.
    int chipErases = 0;
    bool armed = false;
    chip->SetTransferObserver([&](const SetupPacket &setup, const uint8_t *data, const TransferResult &) {
      if (setup.isIn() || setup.request != vendor::kFlashWrite || setup.length == 0)
        return;
      if (data[0] == flashop::kChipErase && ++chipErases == 2)
        chip->Flash().Faults().Clear();
      if (data[0] == flashop::kPageProgram && setup.index == 0 && chipErases == 1 && !armed) {
        chip->Flash().Faults().FlipOnRead(0x40, 0x08, true);
        armed = true;
      }
    });
    QTest::mouseClick(c().btnSimpleAuto, Qt::LeftButton);

    QCOMPARE(recorded->dialogs.confirms, QStringList{QString("Warning: ") + kUpdateQuestion});
    QCOMPARE(chipErases, 2);
    VerifyVerdict("Firmware update success!", kBlue);
    QVERIFY(FlashHolds(image));
  }

  void threeFailedAttemptsEndInFailure() {
    StartWindow(false);
    recorded->dialogs.confirmAnswer = true;
    ReadyToStart("EF4012", ImageBytes(0x1000, 0x21));
    chip->Flash().Faults().FlipOnRead(0x800, 0x01, true);
    QTest::mouseClick(c().btnSimpleAuto, Qt::LeftButton);

    VerifyVerdict("Firmware update Fail!", kRed);
    QCOMPARE(chip->Flash().Activity().chipErases, 3u);
    // The ISP page's label carries the verdict with its reason.
    QCOMPARE(c().lblUSBProcessInfo->text(), QString("Firmware update Fail! Blanking Fail at 0x000800"));
    // Below the verdict, in plain sight: where the flash read wrong.
    QCOMPARE(Reason().Reason(), QString("Blanking Fail at 0x000800"));
    QCOMPARE(Reason().text(), Reason().Reason());
    QVERIFY(!Reason().isHidden());
    QCOMPARE(KeptStatus(), ProtectedStatus());
    QVERIFY(!chip->InIspMode());
  }

  void anUnplugWhileProgrammingEndsInFailureInBoundedTime() {
    StartWindow(false);
    recorded->dialogs.confirmAnswer = true;
    ReadyToStart("C22012", ImageBytes(0x20000, 0x21));
    bool unplugged = false;
    chip->SetTransferObserver([&](const SetupPacket &setup, const uint8_t *data, const TransferResult &) {
      if (!unplugged && !setup.isIn() && setup.request == vendor::kFlashWrite && setup.index == 0 &&
          data[0] == flashop::kPageProgram) {
        unplugged = true;
        chip->UnplugAfter(100);
      }
    });
    const uint64_t before = clock->NowUs();
    QTest::mouseClick(c().btnSimpleAuto, Qt::LeftButton);

    QVERIFY(unplugged);
    VerifyVerdict("Firmware update Fail!", kRed);
    QVERIFY(clock->NowUs() - before < 120'000'000u);
    // The verdict text stays as designed; the reason is below it.
    QCOMPARE(c().lblISPProcStatus->toolTip(), QString("the device was disconnected"));
    QCOMPARE(Reason().text(), QString("the device was disconnected"));
    QCOMPARE(Reason().toolTip(), QString("the device was disconnected"));
    QCOMPARE(c().lblUSBProcessInfo->text(), QString("Firmware update Fail! the device was disconnected"));
  }

  // Another program holds the device: the window says so, sends nothing and
  // keeps "Start" for when the other one has finished.
  void aDeviceAnotherProgramUpdatesIsShownBusy() {
#ifdef _WIN32
    QSKIP("the other program is a forked process");
#else
    StartWindow(false);
    recorded->dialogs.confirmAnswer = true;
    ReadyToStart("C22012", ImageBytes(0x1000, 0x21));
    const QString locks = workDir.filePath("locks");
    QVERIFY(QDir().mkpath(locks));
    state->usb.UseDeviceLocks(locks.toStdString());
    int ready[2];
    int done[2];
    QVERIFY(::pipe(ready) == 0 && ::pipe(done) == 0);
    const pid_t other = ::fork();
    if (other == 0) {
      ::close(done[1]);
      DeviceLock lock;
      const bool held = lock.TryAcquire(locks.toStdString(), VantrelUsb::LockKey(state->usb.DevicePath())) ==
                        DeviceLock::Outcome::Acquired;
      char byte = 0;
      const bool told = ::write(ready[1], &held, sizeof held) == sizeof held;
      ::_exit(told && ::read(done[0], &byte, 1) >= 0 ? 0 : 1);
    }
    bool held = false;
    QVERIFY(::read(ready[0], &held, sizeof held) == sizeof held && held);
    const uint64_t transfers = chip->TransferCount();
    QTest::mouseClick(c().btnSimpleAuto, Qt::LeftButton);
    QCOMPARE(c().lblISPProcStatus->text(),
             QString("device busy: another update is running (pid %1)").arg(static_cast<qint64>(other)));
    QCOMPARE(Reason().text(), QString(kDeviceBusyReason));
    QCOMPARE(chip->TransferCount(), transfers);
    QCOMPARE(c().btnSimpleAuto->text(), QString("Start"));
    QVERIFY2(!c().btnSimpleAuto->isEnabled(), "Start waits for the other program");
    // While the other program holds the device, the monitor's ticks change nothing.
    Tick(3);
    QVERIFY(c().lblISPProcStatus->text().startsWith("device busy: "));
    QCOMPARE(Reason().text(), QString(kDeviceBusyReason));
    QVERIFY(!c().btnSimpleAuto->isEnabled());
    QCOMPARE(chip->TransferCount(), transfers);

    ::close(done[1]);
    int status = 0;
    ::waitpid(other, &status, 0);
    for (const int fd : {ready[0], ready[1], done[0]})
      ::close(fd);
    // The next tick finds the device free: the message goes, Start comes back.
    Tick(1);
    QCOMPARE(c().lblISPProcStatus->text(), QString());
    QCOMPARE(Reason().text(), QString());
    QVERIFY(c().btnSimpleAuto->isEnabled());
    QTest::mouseClick(c().btnSimpleAuto, Qt::LeftButton);
    VerifyVerdict("Firmware update success!", kBlue);
    QCOMPARE(Reason().text(), QString());
#endif
  }

  void nothingElseStartsWhileTheUpdateRuns() {
    StartWindow(false);
    recorded->dialogs.confirmAnswer = true;
    recorded->dialogs.saveAnswer = workDir.filePath("flash.bin");
    form->SetServiceView(true);
    ReadyToStart("C22012", ImageBytes(0x1000, 0x21));
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form));
    bool tried = false, closed = true;
    WhenPumped([&] { return c().lblISPProcStatus->text() == "Start Programming"; },
               [&] {
                 tried = true;
                 form->btnSimpleAutoClick(c().btnSimpleAuto);
                 QTest::mouseClick(c().btnUSBISPAuto, Qt::LeftButton);
                 QTest::mouseClick(c().btnReadBack, Qt::LeftButton);
                 QTest::mouseClick(c().btnUSBErase, Qt::LeftButton);
                 closed = form->close();
               });
    QTest::mouseClick(c().btnSimpleAuto, Qt::LeftButton);

    QVERIFY(tried);
    QCOMPARE(recorded->dialogs.confirms.size(), 1);
    QVERIFY(recorded->dialogs.messages.isEmpty());
    QVERIFY2(recorded->dialogs.fileFilters.isEmpty(), "no read-back");
    QVERIFY(!closed);
    QVERIFY(form->isVisible());
    QCOMPARE(chip->Flash().Activity().chipErases, 1u);
    VerifyVerdict("Firmware update success!", kBlue);
    QVERIFY2(form->close(), "once the update is over the window closes");
  }

  // The update programs the image the user said yes to: nothing clicked
  // while it runs replaces it, and every control that would is greyed, as
  // is every flash step of the ISP page.
  void theImageCannotChangeWhileTheUpdateRuns() {
    StartWindow(false);
    recorded->dialogs.confirmAnswer = true;
    const auto image = ImageBytes(0x9000, 0x21); // longer than the 32 KB default image
    WriteFile(workDir.filePath("other.bin"), std::string(0x9000, '\x42'));
    recorded->dialogs.openAnswer = workDir.filePath("other.bin");
    ReadyToStart("C22012", image);
    std::vector<QWidget *> greyed = {c().Button1,       c().btnSaveBin,   c().CurrentFileBitBtn, c().USBLoadFileBitBtn,
                                     c().btnEnterISP,   c().btnUSBChipID, c().btnUSBErase,       c().btnUSBBlank,
                                     c().btnUSBProgram, c().btnUSBVerify, c().btnReadBack,       c().btnUSBISPAuto,
                                     c().btnReadPara,   c().btnSetPara};
    QStringList enabledWhileRunning;
    WhenPumped([&] { return c().lblISPProcStatus->text() == "Start Programming"; },
               [&] {
                 for (QWidget *control : greyed)
                   if (control->isEnabled())
                     enabledWhileRunning << control->objectName();
                 // Buttons that are greyed take no click; the handlers refuse too.
                 c().Button1->click();
                 form->btnSaveBinClick(c().Button1);
                 form->USBLoadFileBitBtnClick(c().USBLoadFileBitBtn);
                 form->CurrentFileBitBtnClick(c().CurrentFileBitBtn);
                 Tick(1); // the monitor leaves the image alone too
               });
    QTest::mouseClick(c().btnSimpleAuto, Qt::LeftButton);

    QCOMPARE(enabledWhileRunning, QStringList());
    VerifyVerdict("Firmware update success!", kBlue);
    QVERIFY(FlashHolds(image));
    QVERIFY(std::equal(image.begin(), image.end(), state->image.ImageBuffer.begin()));
    QCOMPARE(state->image.ImageLength, uint32_t(image.size()));
    // Afterwards the page's controls are back, the finished Start is not.
    QVERIFY(c().Button1->isEnabled());
    QVERIFY(c().btnUSBBlank->isEnabled());
    QVERIFY(c().USBLoadFileBitBtn->isEnabled());
    QVERIFY(!c().btnSimpleAuto->isEnabled());
  }

  // A "Read back" of the parameter page during the update's erase wait
  // would send mailbox traffic to a chip in ISP mode.
  void theParameterPageWaitsForTheUpdate() {
    StartWindow(false);
    recorded->dialogs.confirmAnswer = true;
    const auto image = ImageBytes(0x2000, 0x21);
    ReadyToStart("C22012", image);
    state->parameters = {0x12, 0x34, 0x56, 0x78};
    size_t mailboxWrites = 0;
    bool tried = false;
    WhenPumped([&] { return c().lblISPProcStatus->text().startsWith("Flash Erase All "); },
               [&] {
                 tried = true;
                 const uint64_t before = chip->TransferCount();
                 form->btnReadParaClick(c().btnReadPara);
                 form->btnSetParaClick(c().btnSetPara);
                 c().lbledSysVID->setText("1234");
                 QTest::keyClick(c().lbledSysVID, Qt::Key_Return);
                 mailboxWrites = chip->TransferCount() - before;
               });
    QTest::mouseClick(c().btnSimpleAuto, Qt::LeftButton);

    QVERIFY(tried);
    QCOMPARE(mailboxWrites, size_t{0});
    QCOMPARE(state->parameters, (ParameterRecord{0x12, 0x34, 0x56, 0x78}));
    VerifyVerdict("Firmware update success!", kBlue);
    QVERIFY(FlashHolds(image));
  }

  // A file that appears during an ISP step is found once the step is over:
  // Start never comes back in the state from before the step.
  void startIsReadyWhenAFileAppearsDuringAnIspStep() {
    StartWindow(false);
    Plug("C22012");
    Tick(16);
    QCOMPARE(c().lblUpdaeFileStatus->text(), QString("No Updated File !"));
    QVERIFY(!c().btnSimpleAuto->isEnabled());
    EnterIsp();
    WriteUpdateFile(ImageBytes(0x1000, 0x21));
    bool ticked = false;
    WhenPumped([&] { return c().lblUSBProcessInfo->text().startsWith("Flash Erase All "); },
               [&] {
                 Tick(1);
                 ticked = true;
               });
    c().btnUSBErase->click();
    QVERIFY(ticked);
    Tick(1);
    QCOMPARE(c().lblUpdaeFileStatus->text(), QString("Firmware Update file   Orvane_R62.hex    is Ready!"));
    QVERIFY(c().btnSimpleAuto->isEnabled());
  }

  // An image larger than the part is refused before the erase; the window
  // says why and the device keeps its firmware.
  void anImageTooLargeForThePartIsRefusedWithBothSizes() {
    StartWindow(false);
    recorded->dialogs.confirmAnswer = true;
    ReadyToStart("C22011", ImageBytes(0x30000, 0x21));
    QTest::mouseClick(c().btnSimpleAuto, Qt::LeftButton);
    VerifyVerdict("Firmware update Fail!", kRed);
    const QString refusal("The image (196608 bytes) is larger than the flash of this device (131072 bytes, identifier "
                          "C2 22 11); nothing was erased.");
    QCOMPARE(Reason().Reason(), refusal);
    QCOMPARE(Reason().text(), refusal);
    QVERIFY(FlashHolds(oldFirmware));
    QCOMPARE(chip->Flash().Activity().chipErases, 0u);
    QVERIFY(!chip->InIspMode());
  }

  void stepTextsAndTheRetryNoticeHaveTheirColours() {
    QLabel label;
    NoMessagePump pump;
    WindowUpdateStatusView view(label, pump);
    view.ShowStatus("ISP Fail and retry", StatusTone::Retry);
    QCOMPARE(TextColour(label), kRed);
    QCOMPARE(label.font().pixelSize(), 16);
    view.ShowStatus("Clear Status register", StatusTone::Normal);
    QCOMPARE(TextColour(label), QApplication::palette().color(QPalette::WindowText));
    QCOMPARE(label.text(), QString("Clear Status register"));
  }

  // --- the engineering sequence

  void autoWithAnAssignedRangeErasesItsSectorsAndProgramsThere() {
    StartWindow(false);
    ReadyToStart("C22012", ImageBytes(0x1000, 0x21));
    const auto image = ImageBytes(1000, 0x99);
    WriteFile(workDir.filePath("part.bin"), std::string(image.begin(), image.end()));
    c().lbledISPStart->setText("64");
    c().lbledISPRange->setText("32");
    c().rbnRange1->setChecked(true);
    c().cbxReadISPFile->setEditText("part.bin");
    devices->transport.ClearTransfers();
    QTest::mouseClick(c().btnUSBISPAuto, Qt::LeftButton);

    QVERIFY(recorded->dialogs.messages.isEmpty());
    std::vector<uint32_t> sectors;
    for (const auto &t : devices->transport.Transfers())
      if (!t.setup.isIn() && t.setup.request == vendor::kFlashWrite && t.out.size() == 4 &&
          t.out[0] == flashop::kSectorErase)
        sectors.push_back(uint32_t{t.out[1]} << 16 | uint32_t{t.out[2]} << 8 | t.out[3]);
    QCOMPARE(sectors, (std::vector<uint32_t>{0x10000, 0x11000, 0x12000, 0x13000, 0x14000, 0x15000, 0x16000, 0x17000}));
    QVERIFY(FlashHolds(image, 0x10000));
    QVERIFY2(FlashHolds(oldFirmware), "below the range nothing changed");
    QCOMPARE(c().lblUSBProcessInfo->text(), QString("Verifying Success"));
    QVERIFY(c().lblUSBChecksum->text().startsWith("Checksum : 0x"));
    QCOMPARE(c().cbxReadISPFile->findText("part.bin"), 0);
    QCOMPARE(c().btnUSBISPAuto->text(), QString("Auto"));
    QVERIFY(!state->monitor.Busy);
    QVERIFY2(!state->monitor.UpdateDone, "only the one-button update ends the run");
  }

  void autoRefusesWithoutDeviceOrFile() {
    StartWindow(false);
    QTest::mouseClick(c().btnUSBISPAuto, Qt::LeftButton);
    QCOMPARE(recorded->dialogs.messages, QStringList{"Dialog: USB device is NOT available !!    "});

    Plug("C22012"); // no update file: nothing loaded
    Tick(16);
    QVERIFY(state->usb.IsFound());
    devices->transport.ClearTransfers();
    QTest::mouseClick(c().btnUSBISPAuto, Qt::LeftButton);
    QCOMPARE(recorded->dialogs.messages.last(), QString("Dialog: Program File Not Ready !!    "));
    QVERIFY(devices->transport.Transfers().empty());
    QVERIFY(!state->monitor.Busy);
    QCOMPARE(c().btnUSBISPAuto->text(), QString("Auto"));
  }

  void aReloadThatFailsStopsBeforeAnyDeviceTraffic() {
    StartWindow(false);
    ReadyToStart("C22012", ImageBytes(0x1000, 0x21)); // the lookup loaded an image
    c().lblUSBProcessInfo->setText("before");
    devices->transport.ClearTransfers();
    QTest::mouseClick(c().btnUSBISPAuto, Qt::LeftButton); // the box is empty
    QCOMPARE(recorded->dialogs.messages, QStringList{"Dialog: Program File Not Ready !!    "});
    QVERIFY(!state->image.ImageReady);

    c().cbxReadISPFile->setEditText("missing.bin");
    QTest::mouseClick(c().btnUSBISPAuto, Qt::LeftButton);
    QCOMPARE(recorded->dialogs.messages.size(), 2);
    QVERIFY(recorded->dialogs.messages.last().contains("missing.bin"));

    QVERIFY(devices->transport.Transfers().empty());
    QVERIFY(FlashHolds(oldFirmware));
    QCOMPARE(c().lblUSBProcessInfo->text(), QString("before"));
    QCOMPARE(c().btnUSBISPAuto->text(), QString("Auto"));
    QVERIFY(c().btnUSBISPAuto->isEnabled());
    QVERIFY(!state->monitor.Busy);
  }

  void stopEndsTheSequenceBeforeItsNextStep() {
    StartWindow(false);
    ReadyToStart("C22012", ImageBytes(0x8000, 0x21));
    c().chkReadFile->setChecked(false); // the image the lookup loaded
    c().chkProtect->setChecked(true);
    bool disabledAfterStop = false, stepsGreyed = false;
    WhenPumped([&] { return c().lblUSBProcessInfo->text() == "Start Blanking Check"; },
               [&] {
                 QCOMPARE(c().btnUSBISPAuto->text(), QString("Stop"));
                 // Only its Stop button is live while the sequence runs.
                 stepsGreyed = !c().btnUSBBlank->isEnabled() && !c().btnUSBErase->isEnabled() &&
                               !c().btnReadBack->isEnabled() && !c().btnSimpleAuto->isEnabled() &&
                               !c().Button1->isEnabled() && c().btnUSBISPAuto->isEnabled();
                 QTest::mouseClick(c().btnUSBISPAuto, Qt::LeftButton);
                 disabledAfterStop = !c().btnUSBISPAuto->isEnabled();
               });
    QTest::mouseClick(c().btnUSBISPAuto, Qt::LeftButton);

    QVERIFY(disabledAfterStop);
    QVERIFY(stepsGreyed);
    QCOMPARE(c().lblUSBProcessInfo->text(), QString("Stopped"));
    const auto &flash = chip->Flash().Contents();
    QVERIFY2(std::all_of(flash.begin(), flash.end(), [](uint8_t b) { return b == 0xFF; }), "erased, not programmed");
    QCOMPARE(KeptStatus(), ProtectedStatus());
    QVERIFY(!chip->InIspMode());
    QCOMPARE(c().btnUSBISPAuto->text(), QString("Auto"));
    QVERIFY(c().btnUSBISPAuto->isEnabled());
    QVERIFY(!state->monitor.Busy);
    QVERIFY(!state->flash.StopRequested);
    QVERIFY(c().btnUSBBlank->isEnabled());
    QVERIFY(c().btnSimpleAuto->isEnabled());
  }

  void aRangeBeyondTheFlashAddressSpaceIsRefused() {
    StartWindow(false);
    ReadyToStart("C22012", ImageBytes(0x1000, 0x21));
    c().lbledISPStart->setText("16383");
    c().lbledISPRange->setText("4");
    c().rbnRange1->setChecked(true);
    c().chkReadFile->setChecked(false);
    devices->transport.ClearTransfers();
    QTest::mouseClick(c().btnUSBISPAuto, Qt::LeftButton);
    QCOMPARE(recorded->dialogs.messages, QStringList{"Dialog: Flash Access Range beyond 16 MB !!    "});
    QVERIFY(devices->transport.Transfers().empty());
  }

  // --- the read-back

  void readFlashSavesTheFirst32KiloBytesAsRows() {
    StartWindow(false);
    Plug("C22012");
    Tick(16);
    EnterIsp();
    chip->Flash().Erase();
    recorded->dialogs.saveAnswer = workDir.filePath("flash.bin");
    c().rbnRange1->setChecked(true); // the range does not apply
    QTest::mouseClick(c().btnReadBack, Qt::LeftButton);

    QCOMPARE(recorded->dialogs.fileFilters, QStringList{kSaveBinFileFilter});
    QCOMPARE(c().lblUSBProcessInfo->text(), QString("Read Flash content Success"));
    QFile file(workDir.filePath("flash.bin"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    QCOMPARE(text.size(), 2048 * 97);
    QByteArray row = QByteArray("0xFF, ").repeated(16) + '\r';
    QCOMPARE(text, row.repeated(2048));
  }

  void aBlockThatNeverReadsLeaves5AInTheFileFromThere() {
    StartWindow(false);
    Plug("C22012");
    Tick(16);
    EnterIsp();
    devices->transport.SetScriptHook(
        [](const std::string &, const SetupPacket &setup, uint8_t *data) -> std::optional<TransferResult> {
          if (!setup.isIn() && setup.request == vendor::kFlashQuery && setup.length == 4 && data[0] == flashop::kRead &&
              data[1] == 0x00 && data[2] == 0x40 && data[3] == 0x00)
            return TransferResult{TransferStatus::Failed, 0};
          return std::nullopt;
        });
    recorded->dialogs.saveAnswer = workDir.filePath("flash.bin");
    QTest::mouseClick(c().btnReadBack, Qt::LeftButton);

    QCOMPARE(c().lblUSBProcessInfo->text(), QString("Verifying Fail at 0x004000"));
    QFile file(workDir.filePath("flash.bin"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    QCOMPARE(text.size(), 2048 * 97);
    const QByteArray unread = QByteArray("0x5A, ").repeated(16) + '\r';
    QCOMPARE(text.mid(0x400 * 97), unread.repeated(0x400));
    QVERIFY2(text.left(97) != unread, "the rows before hold the flash");
  }

  void aReadBackFileThatCannotBeWrittenIsReported() {
    StartWindow(false);
    Plug("C22012");
    Tick(16);
    EnterIsp();
    recorded->dialogs.saveAnswer = workDir.filePath("no-such-dir/flash.bin");
    QTest::mouseClick(c().btnReadBack, Qt::LeftButton);
    QCOMPARE(recorded->dialogs.messages.size(), 1);
    QVERIFY(recorded->dialogs.messages[0].startsWith("Dialog: Cannot create "));
    // Read, but not saved: no success.
    QCOMPARE(c().lblUSBProcessInfo->text(), QString("Read Flash data not saved"));

    recorded->dialogs.saveAnswer.clear(); // cancelled: nothing written, no message
    QTest::mouseClick(c().btnReadBack, Qt::LeftButton);
    QCOMPARE(recorded->dialogs.messages.size(), 1);
    QCOMPARE(c().lblUSBProcessInfo->text(), QString("Read Flash data not saved"));
  }

  void readBackSuccessIsShownOnlyOnceTheFileIsWritten() {
    StartWindow(false);
    Plug("C22012");
    Tick(16);
    EnterIsp();
    QString shownWhileAsked;
    recorded->dialogs.onSave = [&] { shownWhileAsked = c().lblUSBProcessInfo->text(); };
    recorded->dialogs.saveAnswer = workDir.filePath("flash.bin");
    QTest::mouseClick(c().btnReadBack, Qt::LeftButton);
    QCOMPARE(shownWhileAsked, QString("Read Flash data back"));
    QVERIFY(QFile::exists(workDir.filePath("flash.bin")));
    QCOMPARE(c().lblUSBProcessInfo->text(), QString("Read Flash content Success"));
  }
};

QTEST_MAIN(SequencesTest)
#include "sequences_test.moc"
