#include "isp/OneButtonUpdate.h"
#include "sim/IntelHexWriter.h"
#include "support/WindowTestSupport.h"
#include "testing/SimulatedDeviceStack.h"
#include "ui_Unit1.h"

#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace orvane;
using namespace orvane::testing;

// The one-button update as the user watches it: the progress bar below the
// status line, and a close of the window while the flash is written.
class UpdateProgressTest : public QObject {
  Q_OBJECT

  QTemporaryDir workDir;
  QString previousDir;
  std::unique_ptr<SimulatedDeviceStack> devices;
  std::unique_ptr<StartedWindow> started;
  sim::ChipSimulator *chip = nullptr;
  std::vector<uint8_t> image;

  Ui::TForm1 &c() { return started->form.Controls(); }
  QProgressBar *Bar() { return started->form.findChild<QProgressBar *>("pgbUpdateProgress"); }
  QLabel *Line() { return started->form.findChild<QLabel *>("lblUpdateProgress"); }
  QLabel *Notice() { return started->form.findChild<QLabel *>("lblBusyNotice"); }
  // Runs what once, during the update, as the message loop turns, when the
  // status line first shows step.
  void During(const QString &step, std::function<void()> what) {
    chip->SetTransferObserver([this, step, what](const SetupPacket &, const uint8_t *, const TransferResult &) mutable {
      if (what && c().lblISPProcStatus->text().startsWith(step)) {
        QTimer::singleShot(0, &started->form, what);
        what = nullptr;
      }
    });
  }
  void Update() {
    started->dialogs.confirmAnswer = true;
    QTest::mouseClick(c().btnSimpleAuto, Qt::LeftButton);
  }

private slots:
  void init() {
    previousDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(workDir.path()));
    image.assign(0x10000, 0);
    for (size_t i = 0; i < image.size(); ++i)
      image[i] = static_cast<uint8_t>(i * 5 + 1);
    QFile file(workDir.filePath("Orvane_R62.hex"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray::fromStdString(sim::WriteIntelHex(image.data(), image.size())));
    file.close();
    devices = std::make_unique<SimulatedDeviceStack>();
    started = ShowStartedWindow(*devices);
    QVERIFY(started);
    started->form.Timer1()->stop();
    sim::SimConfig config;
    config.initialFlash = std::vector<uint8_t>(0x800, 0x3C); // older firmware, running
    chip = &devices->PlugChip("r62", config);
    for (int i = 0; i < 16; ++i)
      started->form.Timer1Timer(started->form.Timer1());
    QVERIFY(c().btnSimpleAuto->isEnabled());
  }
  void cleanup() {
    started.reset();
    devices.reset();
    QDir::setCurrent(previousDir);
  }

  void theWindowKeepsItsInnerSizeAndIsPlacedByTheWindowManager() {
    QCOMPARE(started->form.size(), QSize(606, 200));
    QVERIFY(!started->form.testAttribute(Qt::WA_Moved));
  }

  void theBarSitsBelowTheStatusLineAndShowsOnlyDuringTheUpdate() {
    QVERIFY(Bar() && Line());
    QVERIFY(!Bar()->isVisible() && !Line()->isVisible());
    const QRect status(c().lblISPProcStatus->mapTo(&started->form, QPoint(0, 0)), c().lblISPProcStatus->size());
    const QRect panel = c().pnlUSB->geometry();
    QCOMPARE(Bar()->x(), status.x());
    QCOMPARE(Bar()->width(), status.width());
    QVERIFY(Bar()->y() > panel.bottom());
    QVERIFY(Line()->geometry().bottom() < started->form.height());

    bool erasing = false, eraseBusy = false, eraseVisible = false;
    QString eraseLine;
    int percent = -1;
    QString line;
    int seenBlocks = 0;
    During("Flash Erase All .", [&] {
      erasing = true;
      eraseVisible = Bar()->isVisible();
      eraseBusy = Bar()->minimum() == 0 && Bar()->maximum() == 0;
      eraseLine = Line()->text();
      chip->SetTransferObserver([&](const SetupPacket &setup, const uint8_t *, const TransferResult &) {
        if (c().lblISPProcStatus->text() == "Start Programming" && setup.request == vendor::kFlashWrite &&
            ++seenBlocks == 40)
          QTimer::singleShot(0, &started->form, [&] {
            percent = Bar()->value();
            line = Line()->text();
          });
      });
    });
    Update();

    QVERIFY(erasing);
    QVERIFY(eraseVisible);
    QVERIFY(eraseBusy);
    QVERIFY2(eraseLine.startsWith("Erase waiting for the chip, "), qPrintable(eraseLine));
    QVERIFY2(percent > 0 && percent < 100, qPrintable(QString::number(percent)));
    QVERIFY2(line.startsWith("Program ") && line.contains(QString("%1%").arg(percent)) && line.endsWith(" left"),
             qPrintable(line));
    QCOMPARE(c().lblISPProcStatus->text(), QString(kUpdateSuccess));
    QVERIFY(!Bar()->isVisible() && !Line()->isVisible());
    QCOMPARE(status, QRect(c().lblISPProcStatus->mapTo(&started->form, QPoint(0, 0)), c().lblISPProcStatus->size()));
  }

  // The service view puts its pages where the bar stands; back in the
  // simple view the bar and its line are there again, still moving.
  void theServiceViewTakesThePlaceOfTheBarUntilItIsLeft() {
    bool shownBefore = false, shownInService = true, shownBack = false, movesBack = false;
    int valueBack = -1;
    During("Start Programming", [&] {
      shownBefore = Bar()->isVisible();
      started->form.SetServiceView(true);
      shownInService = Bar()->isVisible() || Line()->isVisible();
      started->form.SetServiceView(false);
      shownBack = Bar()->isVisible() && Line()->isVisible();
      valueBack = Bar()->value();
      chip->SetTransferObserver([&](const SetupPacket &, const uint8_t *, const TransferResult &) {
        if (!movesBack && Bar()->value() > valueBack && Bar()->isVisible() && !Line()->text().isEmpty())
          movesBack = true;
      });
    });
    Update();
    QVERIFY(shownBefore);
    QVERIFY(!shownInService);
    QVERIFY(shownBack);
    QVERIFY(movesBack);
    QCOMPARE(c().lblISPProcStatus->text(), QString(kUpdateSuccess));
    QVERIFY(!Bar()->isVisible() && !Line()->isVisible());
  }

  void closingDuringTheUpdateIsRefusedAndSaysSo() {
    bool accepted = true;
    QString notice;
    During("Start Programming", [&] {
      QCloseEvent close;
      QApplication::sendEvent(&started->form, &close);
      accepted = close.isAccepted();
      notice = Notice() && Notice()->isVisible() ? Notice()->text() : QString();
    });
    Update();
    QVERIFY(!accepted);
    QVERIFY(Notice()->geometry().top() > Line()->geometry().bottom());
    QVERIFY(Notice()->geometry().bottom() < started->form.height());
    QCOMPARE(notice, QString("The window stays open until the update has ended: closing now would leave the flash "
                             "half written."));
    QVERIFY(started->form.isVisible());
    QCOMPARE(c().lblISPProcStatus->text(), QString(kUpdateSuccess));

    // Once it has ended, the window closes.
    QCloseEvent close;
    QApplication::sendEvent(&started->form, &close);
    QVERIFY(close.isAccepted());
  }
};

QTEST_MAIN(UpdateProgressTest)
#include "update_progress_test.moc"
