#include "support/ParameterPageSupport.h"
#include "support/WindowTestSupport.h"
#include "testing/SimulatedDeviceStack.h"
#include "ui_Unit1.h"

#include <QAbstractButton>
#include <QLabel>
#include <QTest>

#include <memory>

using namespace orvane;
using namespace orvane::testing;

Q_DECLARE_METATYPE(ParameterRecord)

namespace {

// Clicks on the box and its caption: the controls are wider than their
// texts, and a click beside the caption does not reach the box.
void ClickBox(QAbstractButton *box) {
  QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
}

std::string Text(const std::array<uint8_t, 4> &bytes) {
  return std::string(bytes.begin(), bytes.end());
}

} // namespace

// The "Parameter" page against a simulated device running its firmware,
// reached through the audio driver over the in-process transport.
class ParameterPageTest : public QObject {
  Q_OBJECT

  std::unique_ptr<SimulatedDeviceStack> devices;
  std::unique_ptr<StartedWindow> started;
  sim::ChipSimulator *device = nullptr;
  Ui::TForm1 &c() { return started->form.Controls(); }
  ParameterRecord &record() { return started->state.parameters; }

  // The options the device keeps (its byte 3 is its own status).
  std::array<uint8_t, 3> DeviceOptions() {
    const auto kept = device->Parameters().OptionRecord(true);
    return {kept[0], kept[1], kept[2]};
  }

  void PressEnter(QLineEdit *box, const QString &text) {
    box->setText(text);
    QTest::keyClick(box, Qt::Key_Return);
  }

private slots:
  void init() {
    devices = std::make_unique<SimulatedDeviceStack>();
    started = std::make_unique<StartedWindow>(*devices);
    started->form.Timer1()->stop(); // the page works on the device found below
    device = &devices->PlugChip("dongle", sim::SampleFirmwareConfig());
    VantrelUsb &usb = started->state.usb;
    usb.SetAudioDriver(true);
    QVERIFY(usb.SetTarget("vid_3b5d&pid_" + QString::number(device->Identity().productId, 16).toStdString()));
    QVERIFY(usb.FindDevice());
    devices->transport.ClearTransfers();

    started->form.SetServiceView(true);
    c().MainPageControl->setCurrentWidget(c().Parameter);
    started->form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&started->form));
  }

  void cleanup() {
    started.reset();
    devices.reset();
  }

  void eachOptionControlChangesOnlyItsOwnBits_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<ParameterRecord>("expected");
    QTest::newRow("24 bit I2S") << "rbnI2Slen1" << ParameterRecord{0xA0, 0, 0, 0};
    QTest::newRow("32 bit S/PDIF") << "rbnSPDIFlen0" << ParameterRecord{0xA3, 0, 0, 0};
    QTest::newRow("I2S swap") << "chkI2SLRSwap" << ParameterRecord{0xA5, 0, 0, 0};
    QTest::newRow("DSD swap") << "chkDSDLRSwap" << ParameterRecord{0xA9, 0, 0, 0};
    QTest::newRow("128 Fs") << "rbnMCLKOutFreq0" << ParameterRecord{0x81, 0, 0, 0};
    QTest::newRow("256 Fs") << "rbnMCLKOutFreq1" << ParameterRecord{0x91, 0, 0, 0};
    QTest::newRow("1024 Fs") << "rbnMCLKOutFreq3" << ParameterRecord{0xB1, 0, 0, 0};
    QTest::newRow("left-justified") << "rbnI2SFormat1" << ParameterRecord{0xE1, 0, 0, 0};
    QTest::newRow("DoP") << "rbnDSDOut1" << ParameterRecord{0x21, 0, 0, 0};
    QTest::newRow("MCLK off") << "chkMCLKOutOff" << ParameterRecord{0xA1, 0x80, 0, 0};
    QTest::newRow("I2S off") << "chkI2SOutOff" << ParameterRecord{0xA1, 0x40, 0, 0};
    QTest::newRow("S/PDIF off") << "chkSPDIFOutOff" << ParameterRecord{0xA1, 0x20, 0, 0};
  }
  void eachOptionControlChangesOnlyItsOwnBits() {
    QFETCH(QString, control);
    QFETCH(ParameterRecord, expected);
    auto *button = started->form.findChild<QAbstractButton *>(control);
    QVERIFY(button);
    ClickBox(button);
    QCOMPARE(record(), expected);
    QVERIFY(devices->transport.Transfers().empty()); // options change the window's copy only
  }

  void theSameButtonAgainKeepsTheRecord() {
    ClickBox(c().rbnMCLKOutFreq2);
    QCOMPARE(record(), (ParameterRecord{0xA1, 0, 0, 0}));
    ClickBox(c().chkI2SOutOff);
    ClickBox(c().chkI2SOutOff);
    QCOMPARE(record(), (ParameterRecord{0xA1, 0, 0, 0}));
  }

  void setRightAfterStartSendsTheStartRecord() {
    const uint8_t cleared[4] = {0x00, 0x00, 0x00, 0x00};
    device->Parameters().SetOptions(cleared);
    QTest::mouseClick(c().btnSetPara, Qt::LeftButton);
    QCOMPARE(DeviceOptions(), (std::array<uint8_t, 3>{0xA1, 0x00, 0x00}));
    const sim::MailboxCommand &taken = device->Firmware().Completed().back();
    QCOMPARE(taken.subCommand, uint8_t(0x20));
    QCOMPARE(std::vector<uint8_t>(taken.data.begin(), taken.data.begin() + 4),
             (std::vector<uint8_t>{0xA1, 0x00, 0x00, 0x00}));
    QCOMPARE(devices->transport.OpenConnections(), 0);
    QVERIFY(started->dialogs.messages.isEmpty());
  }

  void theRecordRoundTripsThroughTheDevice() {
    ClickBox(c().rbnMCLKOutFreq3);
    ClickBox(c().chkSPDIFOutOff);
    QTest::mouseClick(c().btnSetPara, Qt::LeftButton);
    QCOMPARE(DeviceOptions(), (std::array<uint8_t, 3>{0xB1, 0x20, 0x00}));

    ClickBox(c().rbnMCLKOutFreq0); // a change not sent
    QTest::mouseClick(c().btnReadPara, Qt::LeftButton);
    QCOMPARE(record(), (ParameterRecord{0xB1, 0x20, 0x00, 0x80}));
    QVERIFY(c().rbnMCLKOutFreq3->isChecked());
    QVERIFY(c().chkSPDIFOutOff->isChecked());
    QCOMPARE(c().lblEepAvail->text(), QString("EEPROM Exist"));
  }

  void readBackShowsWhatTheDeviceHolds() {
    const uint8_t options[4] = {0x00, 0x00, 0x00, 0x00};
    device->Parameters().SetOptions(options); // and it has an EEPROM: 00 00 00 80
    QTest::mouseClick(c().btnReadPara, Qt::LeftButton);
    QCOMPARE(record(), (ParameterRecord{0x00, 0x00, 0x00, 0x80})); // the checks' handlers changed nothing
    QCOMPARE(c().lblEepAvail->text(), QString("EEPROM Exist"));
    QCOMPARE(CheckedParameterOptions(started->form),
             (QStringList{"rbnI2Slen1", "rbnSPDIFlen1", "rbnMCLKOutFreq0", "rbnI2SFormat0", "rbnDSDOut1"}));
  }

  void readBackWithoutADeviceShowsTheRecordAsItWas() {
    device->Unplug();
    record() = {0x7E, 0xE0, 0x00, 0x80}; // not shown yet
    QTest::mouseClick(c().btnReadPara, Qt::LeftButton);
    QCOMPARE(record(), (ParameterRecord{0x7E, 0xE0, 0x00, 0x80}));
    QCOMPARE(CheckedParameterOptions(started->form),
             (QStringList{"rbnI2Slen1", "rbnSPDIFlen0", "rbnMCLKOutFreq3", "rbnI2SFormat1", "rbnDSDOut1",
                          "chkI2SLRSwap", "chkDSDLRSwap", "chkMCLKOutOff", "chkI2SOutOff", "chkSPDIFOutOff"}));
    QVERIFY(started->dialogs.messages.isEmpty());
  }

  void enterSendsTheIdentifierTextAsCharacters() {
    PressEnter(c().lbledSysVID, "3b50");
    QCOMPARE(Text(device->Parameters().VendorIdText()), std::string("3b50"));
    const sim::MailboxCommand &taken = device->Firmware().Completed().back();
    QCOMPARE(taken.subCommand, uint8_t(0x08));
    QCOMPARE(std::vector<uint8_t>(taken.data.begin(), taken.data.begin() + 4),
             (std::vector<uint8_t>{0x33, 0x62, 0x35, 0x30}));
    PressEnter(c().lbledSysPID, "60a2");
    QCOMPARE(Text(device->Parameters().ProductIdText()), std::string("60a2"));

    devices->transport.ClearTransfers();
    c().lbledSysVID->setText("9999");
    QTest::keyClick(c().lbledSysVID, Qt::Key_Tab);
    QTest::keyClick(c().lbledSysVID, Qt::Key_Insert);
    QVERIFY(devices->transport.Transfers().empty());
  }

  void anIdentifierOfOtherThanFourCharactersIsRefused() {
    PressEnter(c().lbledSysPID, "601");
    QCOMPARE(started->dialogs.messages.size(), 1);
    QVERIFY(started->dialogs.messages[0].startsWith("Dialog: The identifier must be exactly 4 characters"));
    QVERIFY(devices->transport.Transfers().empty());
  }

  void aStringGoesInChunksAndALongOneIsCutAndSaysSo() {
    auto *note = started->form.findChild<QLabel *>("lbledSysStr2Cut");
    QVERIFY(note);
    QCOMPARE(note->text(), QString());
    const QString forty = "Orvane R62 Limited Edition DAC and Amp 4";
    QCOMPARE(forty.size(), 40);
    PressEnter(c().lbledSysStr2, forty);
    QCOMPARE(device->Parameters().DescriptorString(1), forty.left(31).toStdString());
    QCOMPARE(note->text(), QString("Cut to 31 characters"));
    QVERIFY(note->isVisible());
    QVERIFY(note->geometry().left() > c().lbledSysStr2->geometry().right());
    QCOMPARE(note->geometry().center().y(), c().lbledSysStr2->geometry().center().y());

    PressEnter(c().lbledSysStr2, "Orvane R62");
    QCOMPARE(device->Parameters().DescriptorString(1), std::string("Orvane R62"));
    QCOMPARE(note->text(), QString());

    PressEnter(c().lbledSysStr1, QString());
    QCOMPARE(device->Parameters().DescriptorString(0), std::string());
    PressEnter(c().lbledSysStr3, QString::fromUtf8("N\u00B000\u00E9"));
    QCOMPARE(device->Parameters().DescriptorString(2), std::string("N\xB0"
                                                                   "00\xE9"));
  }

  void aStringWithCharactersOutsideTheCodePageIsRefused() {
    PressEnter(c().lbledSysStr1, QString::fromUtf8("Vantrel \u20AC"));
    QCOMPARE(started->dialogs.messages.size(), 1);
    QVERIFY(started->dialogs.messages[0].startsWith("Dialog: The text holds the character U+20AC"));
    QVERIFY(devices->transport.Transfers().empty());
    QCOMPARE(device->Parameters().DescriptorString(0), std::string("Vantrel-inc"));
  }
};

QTEST_MAIN(ParameterPageTest)
#include "parameter_page_test.moc"
