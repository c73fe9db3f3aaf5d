#include "support/WindowTestSupport.h"
#include "ui_Unit1.h"

#include <QComboBox>
#include <QScrollBar>
#include <QTest>

#include <memory>

using namespace orvane;
using namespace orvane::testing;

// The controls the handlers find by name, with the kinds and design values
// they rely on.
class FormDesignTest : public QObject {
  Q_OBJECT

  std::unique_ptr<StartedWindow> started;

  template <class T> T *Named(const QString &name) { return started->form.findChild<T *>(name); }

  void ExpectKind(const char *className, const QStringList &names) {
    for (const QString &name : names) {
      QWidget *w = Named<QWidget>(name);
      QVERIFY2(w, qPrintable("missing " + name));
      QVERIFY2(w->inherits(className), qPrintable(name + " is " + w->metaObject()->className()));
    }
  }
  static QStringList Family(const QString &base, int count) {
    QStringList names;
    for (int i = 0; i < count; ++i)
      names << base + QString::number(i);
    return names;
  }
  void ExpectText(const QString &name, const QString &text) {
    QWidget *w = Named<QWidget>(name);
    QVERIFY2(w, qPrintable("missing " + name));
    QString actual;
    if (auto *label = qobject_cast<QLabel *>(w))
      actual = label->text();
    else if (auto *button = qobject_cast<QAbstractButton *>(w))
      actual = button->text();
    else if (auto *edit = qobject_cast<QLineEdit *>(w))
      actual = edit->text();
    else if (auto *group = qobject_cast<QGroupBox *>(w))
      actual = group->title();
    QCOMPARE(actual, text);
  }

private slots:
  void init() { started = std::make_unique<StartedWindow>(); }
  void cleanup() { started.reset(); }

  void everyControlHasItsNameAndKind() {
    ExpectKind(
        "QPushButton",
        QStringList{"btnSimpleAuto",  "USBLoadFileBitBtn", "btnReadAll",        "btnReadMI2C",        "btnUSBISPAuto",
                    "btnUSBChipID",   "btnEnterISP",       "btnUSBErase",       "btnUSBBlank",        "btnUSBProgram",
                    "btnUSBVerify",   "btnUSBReadStatus",  "btnUSBWriteEnable", "btnUSBWriteDisable", "btnReadBack",
                    "Button1",        "btnReadPara",       "btnSetPara",        "btnUpdateStatus",    "btnWriteSpecI2C",
                    "btnReadSpecI2C", "CurrentFileBitBtn", "btnCheck",          "btnSaveBitBin",      "btnSaveBin"} +
            Family("btnHID", 5));
    ExpectKind("QCheckBox", QStringList{"chkDetectUSB", "chkISPMode", "chkProtect", "chkReadFile", "chkErase",
                                        "chkBlank", "chkProgram", "chkVerify", "chkI2SLRSwap", "chkDSDLRSwap",
                                        "chkMCLKOutOff", "chkI2SOutOff", "chkSPDIFOutOff"} +
                                Family("chkBit", 8) + Family("chkMI2CBit", 8));
    ExpectKind("QRadioButton",
               QStringList{"rbnRange0", "rbnRange1", "rbnDSDOut0", "rbnDSDOut1", "rbnI2Slen0", "rbnI2Slen1",
                           "rbnSPDIFlen0", "rbnSPDIFlen1", "rbnI2SFormat0", "rbnI2SFormat1"} +
                   Family("rbnMCLKOutFreq", 4));
    ExpectKind("QLineEdit", QStringList{"edtMI2CAddr", "edtMI2CAddr1"} + Family("edtI2Ccmd", 5) +
                                Family("edtI2Cdat", 5) + Family("edtNewStr", 5));
    ExpectKind("QLabel", QStringList{"lblDetectDevice",
                                     "lblUpdaeFileStatus",
                                     "lblISPProcStatus",
                                     "lblFWVer",
                                     "Image1",
                                     "lblRegAddr",
                                     "lblRegData",
                                     "Label1",
                                     "Label6",
                                     "Label15",
                                     "lblMI2CRegAddr",
                                     "lblMI2CRegData",
                                     "Label3",
                                     "lblUSBProcessInfo",
                                     "lblUSBISPProcess",
                                     "lblUSBISPStatusReg",
                                     "lblUSBChecksum",
                                     "lblUSBChipID",
                                     "lblUSBStatus",
                                     "Label20",
                                     "Label21",
                                     "lblEepAvail",
                                     "Label8",
                                     "Label2",
                                     "Label4",
                                     "Label5",
                                     "Label7",
                                     "lblConnect",
                                     "lblMute",
                                     "lblCurrentFormat0",
                                     "lblCurrentFormat1",
                                     "lblCurrentFreq0",
                                     "lblCurrentFreq1",
                                     "Label16",
                                     "Label17",
                                     "Label18",
                                     "lbllencmd",
                                     "Label19",
                                     "lbllendat",
                                     "Add",
                                     "Label22",
                                     "Label13",
                                     "lblCurrentFilePath",
                                     "lblStatusReport",
                                     "lblSaveDone",
                                     "Label9",
                                     "Label10",
                                     "Label11",
                                     "Label12",
                                     "Label14",
                                     "lblSaveBinPath"});
    ExpectKind("QGroupBox", QStringList{"GroupBox1", "gbxFlashCMD", "gbxISPRange", "GroupBox2", "GroupBox3",
                                        "GroupBox4", "GroupBox5", "GroupBox6", "GroupBox7", "GroupBox9"});
    ExpectKind("QFrame", QStringList{"pnlUSB", "pnlUSBExist", "Panel2", "Panel3"});
    ExpectKind("QTableWidget", QStringList{"RegStringGrid1", "StringGridMIIC"});
    ExpectKind("QScrollBar", QStringList{"srblen0", "srblen1"});
    ExpectKind("QComboBox", QStringList{"cbxReadISPFile"});
    ExpectKind("QTabWidget", QStringList{"MainPageControl"});
  }

  void labelledEditBoxesCarryTheirLabels() {
    const QList<QPair<QString, QString>> boxes{
        {"lbledtVID", "VID:"},
        {"lbledtPID", "PID:"},
        {"lbledtUSBWriteStatus", "Write Status : 0x"},
        {"lbledIspCmdRDID", "Chip ID:"},
        {"lbledIspCmdWREN", "Write Enable:"},
        {"lbledIspCmdWRDS", "Write Disable:"},
        {"lbledIspCmdRDSD", "Read Status:"},
        {"lbledIspCmdWRSD", "Write Status: "},
        {"lbledIspCmdERAL", "Erase All:"},
        {"lbledIspCmdPP", "Page Program: "},
        {"lbledIspCmdRead", "Read:"},
        {"lbledISPStart", "Start Addr:"},
        {"lbledISPRange", "Size: "},
        {"lbledSysVID", "VID:"},
        {"lbledSysPID", "PID:"},
        {"lbledSysStr1", "String 1:"},
        {"lbledSysStr2", "String 2:"},
        {"lbledSysStr3", "String 3:"},
        {"labedtNewVID", "VID:"},
        {"labedtNewPID", "PID:"},
    };
    for (const auto &[name, caption] : boxes) {
      auto *edit = Named<QLineEdit>(name);
      auto *label = Named<QLabel>(name + "Label");
      QVERIFY2(edit && label, qPrintable(name));
      QCOMPARE(label->text(), caption);
      QCOMPARE(label->buddy(), edit);
    }
  }

  void designTextsKeepTheirBlanks() {
    ExpectText("lblCurrentFreq0", "Input Freq:  ");
    ExpectText("GroupBox2", "Output when  DSD in");
    ExpectText("GroupBox6", "I2S Format ");
    ExpectText("GroupBox9", "User information New Setting ");
    ExpectText("Button1", " Save");
    ExpectText("btnSaveBin", " Save");
    ExpectText("Label2", "Prodcut Information String (Max. 31 character)");
    ExpectText("Label1", "7 6 5 4 3 2 1 0");
    ExpectText("Label3", "7 6 5 4 3 2 1 0");
    ExpectText("lblCurrentFreq1", "176.4KHz");
    ExpectText("lblMute", "Unmute");
    ExpectText("btnHID1", "HID Vol -");
    ExpectText("btnHID3", "HID Vol +");
    ExpectText("lbledSysStr2", "Vantrel-inc UAC2 22");
    ExpectText("edtNewStr1", "Vantrel-inc UAC22");
    ExpectText("edtNewStr3", "Primary Play Interface");
    ExpectText("labedtNewVID", "3B5D");
    ExpectText("lbledIspCmdERAL", "C7");
    ExpectText("lbledtUSBWriteStatus", "");
    ExpectText("edtMI2CAddr", "20");
    ExpectText("edtMI2CAddr1", "60");
    ExpectText("lblUSBISPProcess", "Process Addr: 0x000000");
    ExpectText("lblSaveDone", "");
    ExpectText("lblCurrentFilePath", "...");
  }

  void designStates() {
    for (int i = 0; i < 5; ++i) {
      QCOMPARE(Named<QLineEdit>(QString("edtI2Ccmd%1").arg(i))->isEnabled(), i == 0);
      QCOMPARE(Named<QLineEdit>(QString("edtI2Cdat%1").arg(i))->text(), QString("00"));
    }
    for (const char *disabled : {"btnCheck", "btnSaveBitBin", "btnSaveBin", "GroupBox9"})
      QVERIFY2(!Named<QWidget>(disabled)->isEnabled(), disabled);
    // The design's own selection: start-up shows the parameter record over it.
    QWidget design;
    Ui::TForm1 described;
    described.setupUi(&design);
    for (const char *selected :
         {"rbnRange0", "rbnDSDOut0", "rbnI2Slen0", "rbnSPDIFlen1", "rbnI2SFormat0", "rbnMCLKOutFreq0"})
      QVERIFY2(design.findChild<QRadioButton *>(selected)->isChecked(), selected);
    for (const char *name : {"srblen0", "srblen1"}) {
      auto *bar = Named<QScrollBar>(name);
      QCOMPARE(bar->orientation(), Qt::Horizontal);
      QCOMPARE(bar->minimum(), 1);
      QCOMPARE(bar->maximum(), 5);
      QCOMPARE(bar->value(), 1);
    }
    for (const char *hinted : {"edtNewStr0", "edtNewStr3", "edtNewStr4"})
      QCOMPARE(Named<QWidget>(hinted)->toolTip(), QString("Manu"));
    QCOMPARE(Named<QWidget>("edtNewStr1")->toolTip(), QString());
    QVERIFY(!Named<QWidget>("CurrentFileBitBtn")->property("icon").value<QIcon>().isNull());
    QVERIFY(!Named<QWidget>("btnSaveBitBin")->property("icon").value<QIcon>().isNull());
  }

  void fontsFollowTheDesign() {
    QCOMPARE(started->form.font().family(), QString("MS Sans Serif"));
    QCOMPARE(QFontInfo(started->form.font()).pixelSize(), 11);
    QCOMPARE(QFontInfo(Named<QLabel>("lblDetectDevice")->font()).pixelSize(), 16);
    QCOMPARE(QFontInfo(Named<QLabel>("lblISPProcStatus")->font()).pixelSize(), 21);
    QCOMPARE(QFontInfo(Named<QLabel>("lblConnect")->font()).pixelSize(), 27);
    QVERIFY(Named<QLabel>("lblUSBChecksum")->font().bold());
    // The bit numbers line up over the check boxes only in a fixed-pitch face.
    QVERIFY(QFontInfo(Named<QLabel>("Label1")->font()).fixedPitch());
  }

  void pagesKeepTheirDesignPlace() {
    QCOMPARE(started->form.Controls().MainPageControl->pos(), QPoint(3, 40));
    QCOMPARE(started->form.Controls().MainPageControl->width(), 585);
  }
};

QTEST_MAIN(FormDesignTest)
#include "form_design_test.moc"
