#include "app/FileDrop.h"
#include "app/ReasonLine.h"
#include "isp/OneButtonUpdate.h"
#include "sim/IntelHexWriter.h"
#include "support/WindowTestSupport.h"
#include "testing/SimulatedDeviceStack.h"
#include "ui_Unit1.h"

#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <memory>

using namespace orvane;
using namespace orvane::testing;

namespace {

std::vector<uint8_t> ImageBytes(size_t count, uint8_t seed) {
  std::vector<uint8_t> bytes(count);
  for (size_t i = 0; i < count; ++i)
    bytes[i] = static_cast<uint8_t>(seed + i * 7);
  return bytes;
}

void WriteHex(const QString &path, const std::vector<uint8_t> &image) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  const std::string text = sim::WriteIntelHex(image.data(), image.size());
  file.write(text.data(), static_cast<qint64>(text.size()));
}

QMimeData *Urls(const QStringList &paths) {
  auto *mime = new QMimeData;
  QList<QUrl> urls;
  for (const QString &path : paths)
    urls << QUrl::fromLocalFile(path);
  mime->setUrls(urls);
  return mime;
}

} // namespace

// Where the update file comes from: the working directory, a folder or a
// file named on the command line, a file or folder dropped onto the
// window; on a simulated Orvane-R62 that the connection monitor finds.
class UpdateFileSourceTest : public QObject {
  Q_OBJECT

  QTemporaryDir workDir, otherDir;
  QString previousDir;
  std::unique_ptr<SimulatedDeviceStack> devices;
  std::unique_ptr<StartedWindow> started;
  sim::ChipSimulator *chip = nullptr;

  Ui::TForm1 &c() { return started->form.Controls(); }
  void Tick(int n) {
    for (int i = 0; i < n; ++i)
      started->form.Timer1Timer(started->form.Timer1());
  }
  void Plug() {
    sim::SimConfig config;
    config.initialFlash = ImageBytes(0x800, 0x11);
    chip = &devices->PlugChip("r62", config);
    Tick(16);
    QCOMPARE(c().lblDetectDevice->text(), QString("Find Device Orvane-R62"));
  }
  bool FlashHolds(const std::vector<uint8_t> &image) {
    return std::equal(image.begin(), image.end(), chip->Flash().Contents().begin());
  }
  void Update() {
    started->dialogs.confirmAnswer = true;
    QTest::mouseClick(c().btnSimpleAuto, Qt::LeftButton);
    QCOMPARE(c().lblISPProcStatus->text(), QString(kUpdateSuccess));
  }
  bool Drag(const QStringList &paths) {
    std::unique_ptr<QMimeData> mime(Urls(paths));
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
    enter.setAccepted(false);
    QApplication::sendEvent(&started->form, &enter);
    return enter.isAccepted();
  }
  void Drop(const QStringList &paths) {
    std::unique_ptr<QMimeData> mime(Urls(paths));
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&started->form, &drop);
  }
  QString Notice() {
    auto *notice = started->form.findChild<QLabel *>("lblBusyNotice");
    return notice && notice->isVisible() ? notice->text() : QString();
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
    for (QTemporaryDir *dir : {&workDir, &otherDir})
      for (const QString &name : QDir(dir->path()).entryList(QDir::Files))
        QFile::remove(dir->filePath(name));
  }

  void aFolderArgumentReplacesTheWorkingDirectory() {
    const auto image = ImageBytes(0x1000, 0x42);
    WriteHex(otherDir.filePath("Orvane_R62.hex"), image);
    QCOMPARE(started->form.UseUpdateSource(otherDir.path()), QString());
    Plug();
    QCOMPARE(c().lblUpdaeFileStatus->text(), QString("Firmware Update file   Orvane_R62.hex    is Ready!"));
    QVERIFY(c().btnSimpleAuto->isEnabled());
    Update();
    QVERIFY(FlashHolds(image));
  }

  void aFileArgumentIsTheUpdateFileOfTheFoundModel() {
    WriteHex(workDir.filePath("Orvane_R62.hex"), ImageBytes(0x1000, 0x01)); // not this one
    const auto image = ImageBytes(0x1800, 0x77);
    WriteHex(otherDir.filePath("release 2.HEX"), image);
    QCOMPARE(started->form.UseUpdateSource(otherDir.filePath("release 2.HEX")), QString());
    Plug();
    QCOMPARE(c().lblUpdaeFileStatus->text(), QString("Firmware Update file   release 2.HEX    is Ready!"));
    Update();
    QVERIFY(FlashHolds(image));
  }

  void namesThatCannotBeUsedAreRefused() {
    QFile text(otherDir.filePath("notes.txt"));
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.close();
    QVERIFY(started->form.UseUpdateSource(otherDir.filePath("notes.txt")).contains("neither a .hex nor a .bin"));
    QVERIFY(started->form.UseUpdateSource(otherDir.filePath("gone.hex")).contains("does not exist"));
    QVERIFY(started->state.updateSource.file.empty() && started->state.updateSource.folder.empty());
  }

  void aDroppedFileIsTakenAtOnceAndUsedForTheUpdate() {
    WriteHex(workDir.filePath("Orvane_R62.hex"), ImageBytes(0x1000, 0x01));
    Plug();
    QVERIFY(c().btnSimpleAuto->isEnabled());
    const auto image = ImageBytes(0x2000, 0x99);
    WriteHex(otherDir.filePath("dropped.hex"), image);
    QVERIFY(Drag({otherDir.filePath("dropped.hex")}));
    Drop({otherDir.filePath("dropped.hex")});
    QCOMPARE(c().lblUpdaeFileStatus->text(), QString("Firmware Update file   dropped.hex    is Ready!"));
    Update();
    QVERIFY(FlashHolds(image));
  }

  // A file dropped onto a text box of the service view is loaded, not
  // pasted into the box as its path; dragged text still goes into the box.
  void aFileDroppedOntoATextBoxIsLoaded() {
    WriteHex(workDir.filePath("Orvane_R62.hex"), ImageBytes(0x1000, 0x01));
    Plug();
    started->form.SetServiceView(true);
    c().MainPageControl->setCurrentWidget(c().Parameter);
    QLineEdit *box = c().lbledSysStr1;
    QVERIFY(box->isVisible() && box->acceptDrops());
    const QString before = box->text();
    const auto image = ImageBytes(0x2000, 0x99);
    WriteHex(otherDir.filePath("dropped.hex"), image);
    const QPoint at = box->rect().center();
    std::unique_ptr<QMimeData> mime(Urls({otherDir.filePath("dropped.hex")}));
    mime->setText(otherDir.filePath("dropped.hex"));
    QDragEnterEvent enter(at, Qt::CopyAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
    enter.setAccepted(false);
    QApplication::sendEvent(box, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(box, &drop);
    QCOMPARE(box->text(), before);
    QCOMPARE(c().lblUpdaeFileStatus->text(), QString("Firmware Update file   dropped.hex    is Ready!"));

    QMimeData words;
    words.setText("typed elsewhere");
    QDragEnterEvent textEnter(at, Qt::CopyAction, &words, Qt::LeftButton, Qt::NoModifier);
    textEnter.setAccepted(false);
    QApplication::sendEvent(box, &textEnter);
    QVERIFY2(textEnter.isAccepted(), "the box takes text as before");
  }

  void aDroppedFolderIsLookedInForTheModelsFile() {
    Plug();
    QCOMPARE(c().lblUpdaeFileStatus->text(), QString("No Updated File !"));
    const auto image = ImageBytes(0x1000, 0x5C);
    WriteHex(otherDir.filePath("Orvane_R62.hex"), image);
    QVERIFY(Drag({otherDir.path()}));
    Drop({otherDir.path()});
    QCOMPARE(c().lblUpdaeFileStatus->text(), QString("Firmware Update file   Orvane_R62.hex    is Ready!"));
    QVERIFY(c().btnSimpleAuto->isEnabled());
  }

  void onlyOneHexOrBinFileOrFolderIsAcceptedAtTheDrag() {
    for (const char *name : {"a.hex", "b.bin", "c.txt"}) {
      QFile file(otherDir.filePath(name));
      QVERIFY(file.open(QIODevice::WriteOnly));
    }
    QVERIFY(Drag({otherDir.filePath("a.hex")}));
    QVERIFY(Drag({otherDir.filePath("b.bin")}));
    QVERIFY(!Drag({otherDir.filePath("c.txt")}));
    QVERIFY(!Drag({otherDir.filePath("a.hex"), otherDir.filePath("b.bin")}));
    QVERIFY(!Drag({otherDir.filePath("missing.hex")}));
    QVERIFY(Drag({otherDir.filePath("a.hex")}));
    Drop({otherDir.filePath("c.txt")});
    QVERIFY(started->state.updateSource.file.empty());
  }

  void aRefusedFilesReasonLeavesWithItsCaption() {
    QFile bad(workDir.filePath("Orvane_R62.hex"));
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write("not a HEX record\n");
    bad.close();
    Plug();
    QCOMPARE(c().lblUpdaeFileStatus->text(), QString("Firmware Update file   Orvane_R62.hex    found but not valid!"));
    QVERIFY(c().lblUpdaeFileStatus->toolTip().startsWith("Orvane_R62.hex was not loaded: "));
    QVERIFY(!c().btnSimpleAuto->isEnabled());
    // In plain sight too, whole, below the panel.
    auto *reason = started->form.findChild<ReasonLine *>("lblReason");
    QVERIFY(reason && reason->isVisible());
    QCOMPARE(reason->text(), c().lblUpdaeFileStatus->toolTip());

    devices->Unplug("r62");
    Tick(2);
    QCOMPARE(c().lblUpdaeFileStatus->text(), QString("No Updated File !"));
    QCOMPARE(c().lblUpdaeFileStatus->toolTip(), QString());
    QCOMPARE(reason->text(), QString());
  }

  void aLongFileNameGivesWayInTheMiddle() {
    const QString name = QString("firmware-").repeated(8) + "final.bin";
    QFile file(otherDir.filePath(name));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(0x400, '\x33'));
    file.close();
    QCOMPARE(started->form.UseUpdateSource(otherDir.filePath(name)), QString());
    Plug();
    const QLabel &line = *c().lblUpdaeFileStatus;
    QVERIFY(line.text().startsWith("Firmware Update file   firmware-"));
    QVERIFY(line.text().endsWith("final.bin    is Ready!"));
    QVERIFY(QFontMetrics(line.font()).horizontalAdvance(line.text()) <= line.width());
    QCOMPARE(line.toolTip(), "Firmware Update file   " + name + "    is Ready!");
  }

  void theFileCannotChangeWhileTheUpdateRuns() {
    const auto image = ImageBytes(0x1000, 0x42);
    WriteHex(workDir.filePath("Orvane_R62.hex"), image);
    WriteHex(otherDir.filePath("other.hex"), ImageBytes(0x1000, 0x24));
    Plug();
    QString refusal, notice;
    bool polled = false;
    chip->SetTransferObserver([&](const SetupPacket &, const uint8_t *, const TransferResult &) {
      if (!polled && c().lblISPProcStatus->text() == "Start Programming") {
        polled = true;
        QTimer::singleShot(0, [&] {
          QVERIFY(Drag({otherDir.filePath("other.hex")}));
          Drop({otherDir.filePath("other.hex")});
          notice = Notice();
          refusal = started->form.UseUpdateSource(otherDir.path());
        });
      }
    });
    Update();
    QVERIFY(polled);
    QCOMPARE(notice, QString("The update file cannot change while the device is in use."));
    QCOMPARE(refusal, notice);
    QVERIFY(FlashHolds(image));
    QVERIFY(started->state.updateSource.file.empty());
    // One update per run.
    QCOMPARE(started->form.UseUpdateSource(otherDir.filePath("other.hex")),
             QString("The update has been done: start the program again for another file."));
  }
};

QTEST_MAIN(UpdateFileSourceTest)
#include "update_file_source_test.moc"
