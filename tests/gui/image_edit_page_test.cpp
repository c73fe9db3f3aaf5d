#include "panels/DefaultImage.h"
#include "panels/ParameterTableMarker.h"
#include "sim/IntelHexWriter.h"
#include "sim/SampleFirmware.h"
#include "support/WindowTestSupport.h"
#include "ui_Unit1.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>

using namespace orvane;
using namespace orvane::testing;

// The "Gen. Bin File" page driven through its buttons, with the file
// dialogs answered by the test.
class ImageEditPageTest : public QObject {
  Q_OBJECT

  std::unique_ptr<StartedWindow> started;
  QTemporaryDir directory;
  Ui::TForm1 &c() { return started->form.Controls(); }
  RecordingDialogs &dialogs() { return started->dialogs; }
  ImageEditState &edit() { return started->state.imageEdit; }

  // A file of size bytes of 0x11, with text at offset.
  QString WriteImage(const QString &name, int size, int offset, const QByteArray &text) {
    QByteArray bytes(size, 0x11);
    bytes.replace(offset, text.size(), text);
    const QString path = directory.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
      qFatal("cannot write %s", qPrintable(path));
    return path;
  }

  void ChooseCurrentFile(const QString &path) {
    dialogs().openAnswer = path;
    QTest::mouseClick(c().CurrentFileBitBtn, Qt::LeftButton);
  }

  QList<bool> Unlocked() {
    return {c().btnCheck->isEnabled(), c().GroupBox9->isEnabled(), c().btnSaveBitBin->isEnabled(),
            c().btnSaveBin->isEnabled()};
  }

private slots:
  void init() {
    QVERIFY(directory.isValid());
    started = std::make_unique<StartedWindow>();
    started->form.SetServiceView(true);
    c().MainPageControl->setCurrentWidget(c().BinFile);
    started->form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&started->form));
  }
  void cleanup() { started.reset(); }

  void aCancelledChoiceChangesNothing() {
    ChooseCurrentFile(QString());
    QCOMPARE(dialogs().fileFilters, QStringList{"Hex File (*.hex *.h00);;Binary File (*.bin)"});
    QCOMPARE(c().lblCurrentFilePath->text(), QString("..."));
    QCOMPARE(c().lblStatusReport->text(), QString());
    QCOMPARE(Unlocked(), (QList<bool>{false, false, false, false}));
    QVERIFY(edit().ModifyFileName.empty());
  }

  void aFileWithTheMarkerIsReadyAndUnlocksTheSettings() {
    const QString path = WriteImage("table.bin", 6000, 4096, "VXUSB_Table01");
    ChooseCurrentFile(path);
    QCOMPARE(c().lblCurrentFilePath->text(), path);
    QCOMPARE(c().lblStatusReport->text(), QString("Load file ready"));
    QCOMPARE(Unlocked(), (QList<bool>{true, true, true, false}));
    QCOMPARE(edit().ModifyLength, 6000u);
    QCOMPARE(started->state.image.ImageLength, 6000u);
    QCOMPARE(edit().ModifyBuffer[4096], uint8_t('V'));
    // The update panel's file stays what it was.
    QVERIFY(started->state.image.ImageFileName.empty());
    QVERIFY(!started->state.image.ImageReady);

    ChooseCurrentFile(WriteImage("plain.bin", 100, 0, QByteArray()));
    QCOMPARE(c().lblStatusReport->text(), QString("Load file is invalid for modify"));
    QCOMPARE(Unlocked(), (QList<bool>{true, true, true, false}));
  }

  void aDevicesFirmwareAsH00TextIsReady() {
    const sim::SimModel model = sim::DefaultSimModel();
    const std::vector<uint8_t> firmware = sim::GenerateSampleFirmware(model);
    const std::string text = sim::WriteIntelHex(firmware.data(), firmware.size());
    const QString path = WriteImage("firmware.h00", 0, 0, QByteArray::fromStdString(text));
    ChooseCurrentFile(path);
    QCOMPARE(c().lblStatusReport->text(), QString("Load file ready"));
    QCOMPARE(edit().ModifyLength, uint32_t(firmware.size()));
    QCOMPARE(FindParameterTableMarker(edit().ModifyBuffer, edit().ModifyLength),
             std::optional<uint32_t>(sim::kSampleParameterTableOffset));
  }

  void aFileWithoutTheMarkerUnlocksOnlyCheck() {
    ChooseCurrentFile(WriteImage("plain.bin", 2000, 10, "VXUSB_Tab"));
    QCOMPARE(c().lblStatusReport->text(), QString("Load file is invalid for modify"));
    QCOMPARE(Unlocked(), (QList<bool>{true, false, false, false}));
  }

  void aFileThatCannotBeLoadedIsInvalidAndSaysWhy() {
    ChooseCurrentFile(WriteImage("table.bin", 3000, 0, "VXUSB_Table01"));
    ChooseCurrentFile(directory.filePath("gone.bin"));
    QCOMPARE(c().lblCurrentFilePath->text(), directory.filePath("gone.bin"));
    QCOMPARE(c().lblStatusReport->text(), QString("Load file is invalid for modify"));
    QCOMPARE(c().lblStatusReport->toolTip(), QString("the file does not exist"));
    QCOMPARE(edit().ModifyLength, 0u);
    QVERIFY(dialogs().messages.isEmpty());

    ChooseCurrentFile(WriteImage("table2.bin", 3000, 0, "VXUSB_Table01"));
    QCOMPARE(c().lblStatusReport->toolTip(), QString());
  }

  void checkClearsTheSaveLabelAndUnlocksOnlyTheSettings() {
    c().lblSaveDone->setText("done");
    QTest::mouseClick(c().btnCheck, Qt::LeftButton); // disabled: no click
    QCOMPARE(c().lblSaveDone->text(), QString("done"));

    ChooseCurrentFile(WriteImage("plain.bin", 2000, 10, "VXUSB_Tab"));
    c().lblStatusReport->setText("kept");
    edit().ModifyBuffer[10 + 9] = 'l'; // now "VXUSB_Tabl" stands in the working copy
    QTest::mouseClick(c().btnCheck, Qt::LeftButton);
    QCOMPARE(c().lblSaveDone->text(), QString());
    QCOMPARE(c().lblStatusReport->text(), QString("kept"));
    QCOMPARE(Unlocked(), (QList<bool>{true, true, false, false}));
  }

  void newFileShowsTheChosenNameAndUnlocksSaveWithoutWriting() {
    ChooseCurrentFile(WriteImage("table.bin", 3000, 0, "VXUSB_Table01"));
    dialogs().fileFilters.clear();
    QTest::mouseClick(c().btnSaveBitBin, Qt::LeftButton); // cancelled
    QCOMPARE(dialogs().fileFilters, QStringList{"Binary File (*.bin)"});
    QCOMPARE(c().lblSaveBinPath->text(), QString("..."));
    QVERIFY(!c().btnSaveBin->isEnabled());

    const QString output = directory.filePath("new.bin");
    dialogs().saveAnswer = output;
    QTest::mouseClick(c().btnSaveBitBin, Qt::LeftButton);
    QCOMPARE(c().lblSaveBinPath->text(), output);
    QCOMPARE(QString::fromStdString(edit().SaveFilePath), output);
    QVERIFY(c().btnSaveBin->isEnabled());
    QVERIFY(!QFile::exists(output));
  }

  void saveAfterALoadReplacesOnlyTheFirst32KOfBothBuffers() {
    ChooseCurrentFile(WriteImage("big.bin", 40000, 39000, "VXUSB_Table01"));
    dialogs().saveAnswer = directory.filePath("new.bin");
    QTest::mouseClick(c().btnSaveBitBin, Qt::LeftButton);
    const QStringList before = DescribeWindow(started->form);

    QTest::mouseClick(c().btnSaveBin, Qt::LeftButton);

    const auto &defaults = DefaultImage();
    for (const std::vector<uint8_t> *buffer : {&started->state.image.ImageBuffer, &edit().ModifyBuffer}) {
      QVERIFY(std::equal(defaults.begin(), defaults.end(), buffer->begin()));
      QCOMPARE((*buffer)[32768], uint8_t(0x11));
      QCOMPARE((*buffer)[39000], uint8_t('V'));
    }
    QCOMPARE(started->state.image.ImageLength, 40000u);
    QCOMPARE(edit().ModifyLength, 40000u);
    QCOMPARE(DescribeWindow(started->form), before);
  }

  void theIspPagesSaveButtonPutsTheDefaultImageToo() {
    ChooseCurrentFile(WriteImage("table.bin", 3000, 0, "VXUSB_Table01"));
    QCOMPARE(started->state.image.ImageBuffer[0], uint8_t('V'));
    c().MainPageControl->setCurrentWidget(c().PageISPCtrl);
    QTest::mouseClick(c().Button1, Qt::LeftButton);
    QCOMPARE(started->state.image.ImageBuffer[0], uint8_t(0x02));
    QCOMPARE(edit().ModifyBuffer[0], uint8_t(0x02));
    QCOMPARE(started->state.image.ImageLength, 3000u);
  }
};

QTEST_MAIN(ImageEditPageTest)
#include "image_edit_page_test.moc"
