#include "app/StringGrid.h"
#include "panels/DefaultImage.h"
#include "support/ParameterPageSupport.h"
#include "support/WindowTestSupport.h"
#include "ui_Unit1.h"

#include <QComboBox>
#include <QScrollBar>
#include <QTest>

#include <algorithm>
#include <memory>

using namespace orvane;
using namespace orvane::testing;

namespace {

// Counts every call the device object makes on the bus.
class CountingBus final : public DeviceBus {
public:
  std::optional<std::vector<std::string>> ListInterfaces(const Guid &) override {
    ++calls;
    return std::vector<std::string>{};
  }
  DeviceHandle Open(const std::string &) override {
    ++calls;
    return kNullHandle;
  }
  bool Control(DeviceHandle, const SetupPacket &, uint8_t *, uint32_t *) override {
    ++calls;
    return false;
  }
  bool Probe(DeviceHandle) override {
    ++calls;
    return false;
  }
  void Close(DeviceHandle) override { ++calls; }
  int calls = 0;
};

} // namespace

class WindowStartTest : public QObject {
  Q_OBJECT

  std::unique_ptr<StartedWindow> started;
  Ui::TForm1 &c() { return started->form.Controls(); }

private slots:
  void init() {
    started = ShowStartedWindow();
    QVERIFY(started);
  }
  void cleanup() { started.reset(); }

  // The simple window has one size, the form's: it cannot be shrunk to
  // cut its content. It carries the program's icon.
  void theWindowHasItsOneSizeAndTheProgramsIcon() {
    TForm1 &form = started->form;
    QCOMPARE(form.minimumSize(), QSize(606, 200));
    QCOMPARE(form.maximumSize(), QSize(606, 200));
    form.resize(400, 120);
    QCOMPARE(form.size(), QSize(606, 200));
    QVERIFY(!form.windowIcon().isNull());
    QVERIFY(form.windowIcon().availableSizes().contains(QSize(32, 32)));
  }

  void showsTheSimpleUpdateWindow() {
    TForm1 &form = started->form;
    QCOMPARE(form.objectName(), QString("Form1"));
    QCOMPARE(form.windowTitle(), QString("Orvane Firmware Update Tool V1.61"));
    QCOMPARE(form.logicalDpiX(), 96);
    QCOMPARE(form.size(), QSize(606, 200));
    QVERIFY(c().MainPageControl->isHidden());
    QCOMPARE(c().MainPageControl->height(), 100);
    QVERIFY(c().pnlUSB->isVisible());
    QCOMPARE(c().pnlUSB->geometry(), QRect(16, 8, 537, 120));
    QCOMPARE(c().pnlUSB->palette().color(QPalette::Window), form.palette().color(QPalette::Button));
  }

  void showsOnlyTheIndicatorTheStatusLinesAndStart() {
    for (QWidget *shown : std::initializer_list<QWidget *>{c().pnlUSBExist, c().lblDetectDevice, c().lblUpdaeFileStatus,
                                                           c().lblISPProcStatus, c().btnSimpleAuto})
      QVERIFY2(shown->isVisible(), qPrintable(shown->objectName()));
    for (QWidget *hidden :
         std::initializer_list<QWidget *>{c().Image1, c().lblFWVer, c().chkDetectUSB, c().lbledtVID, c().lbledtVIDLabel,
                                          c().lbledtPID, c().lbledtPIDLabel, c().cbxReadISPFile, c().USBLoadFileBitBtn})
      QVERIFY2(!hidden->isVisible(), qPrintable(hidden->objectName()));

    QCOMPARE(c().lblDetectDevice->text(), QString("No device is available"));
    QCOMPARE(c().lblUpdaeFileStatus->text(), QString("No Updated File !"));
    QCOMPARE(c().lblISPProcStatus->text(), QString());
    QCOMPARE(c().btnSimpleAuto->text(), QString("Start"));
    QVERIFY(!c().btnSimpleAuto->isEnabled());
    QCOMPARE(c().btnSimpleAuto->pos(), QPoint(424, 0));
    QCOMPARE(c().pnlUSBExist->pos(), QPoint(20, 8));
    QCOMPARE(c().pnlUSBExist->size(), QSize(73, 23));
    // Everything the user sees lies inside the window.
    const QRect window(QPoint(), started->form.size());
    for (QWidget *shown : std::initializer_list<QWidget *>{c().pnlUSBExist, c().lblDetectDevice, c().lblUpdaeFileStatus,
                                                           c().lblISPProcStatus, c().btnSimpleAuto}) {
      const QRect onWindow(shown->mapTo(&started->form, QPoint()), shown->size());
      QVERIFY2(window.contains(onWindow), qPrintable(shown->objectName()));
    }
  }

  void topPanelKeepsItsHiddenControlsReady() {
    QVERIFY(c().chkDetectUSB->isChecked());
    QCOMPARE(c().chkDetectUSB->text(), QString("Detect Device"));
    QCOMPARE(c().lbledtVID->text(), QString("3b5d"));
    QCOMPARE(c().lbledtPID->text(), QString("f800"));
    QCOMPARE(c().lblFWVer->text(), QString("Current Firmware:"));
    QVERIFY(c().cbxReadISPFile->isEditable());
    QCOMPARE(c().cbxReadISPFile->count(), 0);
    QCOMPARE(c().USBLoadFileBitBtn->text(), QString("File"));
    QVERIFY(!c().USBLoadFileBitBtn->icon().isNull());
  }

  void bannerIsDecodedButHidden() {
    QVERIFY(c().Image1->isHidden());
    const QPixmap banner = c().Image1->pixmap();
    QCOMPARE(banner.size(), QSize(599, 213));
    const QImage pixels = banner.toImage();
    QCOMPARE(qGray(pixels.pixel(0, 0)) < 30, true); // white on black
  }

  void onlyTheIspTabIsLeft() {
    QTabWidget *pages = c().MainPageControl;
    QCOMPARE(pages->count(), 6);
    const QStringList names{"TabSheet1", "PageMI2CCtrl", "PageISPCtrl", "Parameter", "Information", "BinFile"};
    const QStringList titles{"Register", "I2C Access", "ISP", "Parameter", "Information", "Gen. Bin File"};
    for (int i = 0; i < 6; ++i) {
      QCOMPARE(pages->widget(i)->objectName(), names[i]);
      QCOMPARE(pages->tabText(i), titles[i]);
      QCOMPARE(pages->isTabVisible(i), names[i] == "PageISPCtrl");
    }
  }

  void gridHeadersAreFilled() {
    for (QTableWidget *grid : {c().RegStringGrid1, c().StringGridMIIC}) {
      QCOMPARE(grid->rowCount(), 17);
      QCOMPARE(grid->columnCount(), 17);
      QCOMPARE(Cell(*grid, 0, 0), QString());
      QCOMPARE(Cell(*grid, 1, 0), QString("00"));
      QCOMPARE(Cell(*grid, 11, 0), QString("0A"));
      QCOMPARE(Cell(*grid, 16, 0), QString("0F"));
      QCOMPARE(Cell(*grid, 0, 1), QString("00"));
      QCOMPARE(Cell(*grid, 0, 2), QString("10"));
      QCOMPARE(Cell(*grid, 0, 16), QString("F0"));
      QCOMPARE(Cell(*grid, 5, 5), QString());
      // Header cells are fixed; value cells can be edited.
      QVERIFY(!(grid->item(0, 16)->flags() & Qt::ItemIsEditable));
      QVERIFY(!(grid->item(16, 0)->flags() & Qt::ItemIsEditable));
      QVERIFY(grid->item(16, 16)->flags() & Qt::ItemIsEditable);
      QVERIFY(!grid->horizontalHeader()->isVisible() && !grid->verticalHeader()->isVisible());
      QCOMPARE(grid->columnWidth(16), 32);
      QCOMPARE(grid->rowHeight(16), 20);
    }
  }

  void ispPageStartValues() {
    QVERIFY(c().chkISPMode->isChecked());
    QVERIFY(!c().chkProtect->isChecked());
    for (QCheckBox *step : {c().chkReadFile, c().chkErase, c().chkBlank, c().chkProgram, c().chkVerify})
      QVERIFY2(step->isChecked(), qPrintable(step->objectName()));
    for (QWidget *hidden :
         std::initializer_list<QWidget *>{c().gbxISPRange, c().chkISPMode, c().chkProtect, c().chkReadFile,
                                          c().chkErase, c().chkBlank, c().chkProgram, c().chkVerify, c().GroupBox1})
      QVERIFY2(hidden->isHidden(), qPrintable(hidden->objectName()));
    QVERIFY(!c().gbxFlashCMD->isHidden());
    QVERIFY(c().rbnRange0->isChecked());
    QVERIFY(!c().rbnRange1->isChecked());
    QCOMPARE(c().lbledISPStart->text(), QString("64"));
    QCOMPARE(c().lbledISPRange->text(), QString("64"));
    QCOMPARE(c().lbledISPStartLabel->text(), QString("Start Addr:"));
    QCOMPARE(c().lbledISPRangeLabel->text(), QString("Size: "));
    QCOMPARE(started->state.parameters, (ParameterRecord{0xA1, 0x00, 0x00, 0x00}));
  }

  void timerTicksEverySecond() {
    auto *timer = started->form.findChild<QTimer *>("Timer1");
    QVERIFY(timer);
    QCOMPARE(timer->interval(), 1000);
    QVERIFY(timer->isActive());
  }

  void twoWindowsInARowStartTheSame() {
    const QStringList first = DescribeWindow(started->form);
    // Change what a user could change in the first run, then start again.
    c().lbledSysStr1->setText("changed");
    c().rbnRange1->setChecked(true);
    SetCell(*c().RegStringGrid1, 3, 3, "5A");
    started->form.SetServiceView(true);
    started.reset();
    started = ShowStartedWindow();
    QVERIFY(started);
    const QStringList second = DescribeWindow(started->form);
    QCOMPARE(second.size(), first.size());
    for (int i = 0; i < first.size(); ++i)
      QCOMPARE(second[i], first[i]);
  }

  void closingWithoutADeviceMakesNoDeviceCall() {
    started.reset();
    CountingBus bus;
    auto window = ShowStartedWindow(&bus);
    QVERIFY(window);
    QVERIFY(window->form.close());
    QCOMPARE(bus.calls, 0);
    QVERIFY(window->dialogs.exceptions.isEmpty());
  }

  // Start-up steps whose effect belongs to pages that are not built yet.
  void startRunsTheRangeHandler() {
    QCOMPARE(started->state.flash.RangeStart, 0u);
    QVERIFY(c().rbnRange0->isChecked());
    QVERIFY(!c().lbledISPStart->isEnabled());
    QVERIFY(!c().lbledISPRange->isEnabled());
    QVERIFY(!c().Label21->isEnabled());
  }
  void startSwitchesTheMonitorOn() {
    QVERIFY(started->state.monitor.DetectEnabled);
    QVERIFY(!c().lbledtVID->isEnabled());
    QVERIFY(!c().lbledtPID->isEnabled());
    QVERIFY(started->form.Timer1()->isActive());
    QCOMPARE(started->form.Timer1()->interval(), 1000);
  }
  void startShowsTheParameterRecord() {
    // Unit1.ui selects otherwise: these come from the record A1 00 00 00.
    QCOMPARE(c().lblEepAvail->text(), QString("EEPROM not Available"));
    QCOMPARE(CheckedParameterOptions(started->form),
             (QStringList{"rbnI2Slen0", "rbnSPDIFlen1", "rbnMCLKOutFreq2", "rbnI2SFormat0", "rbnDSDOut0"}));
    // The handlers the checks ran put back what they read.
    QCOMPARE(started->state.parameters, (ParameterRecord{0xA1, 0x00, 0x00, 0x00}));
  }
  void startCopiesTheDefaultImage() {
    const auto &defaults = DefaultImage();
    const auto &image = started->state.image.ImageBuffer;
    const auto &modify = started->state.imageEdit.ModifyBuffer;
    QVERIFY(std::equal(defaults.begin(), defaults.end(), image.begin()));
    QVERIFY(std::equal(defaults.begin(), defaults.end(), modify.begin()));
    QVERIFY(std::all_of(image.begin() + 32768, image.end(), [](uint8_t b) { return b == 0xFF; }));
    QVERIFY(std::all_of(modify.begin() + 32768, modify.end(), [](uint8_t b) { return b == 0x00; }));
    QCOMPARE(started->state.image.ImageLength, 0u);
    QCOMPARE(started->state.imageEdit.ModifyLength, 0u);
    QVERIFY(!started->state.image.ImageReady);
  }
};

QTEST_MAIN(WindowStartTest)
#include "window_start_test.moc"
