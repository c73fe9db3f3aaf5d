#include "support/SimWindow.h"

#include <QTest>

#include <memory>

using namespace orvane;
using namespace orvane::testing;

using Lines = std::vector<std::string>;

// The information page driven through the window against the simulated chip.
class InformationPageTest : public QObject {
  Q_OBJECT

  std::unique_ptr<SimWindow> w;
  Ui::TForm1 &c() { return w->c(); }

  void Update(uint8_t stream, uint8_t rate) {
    w->chip.SetStreamStatus(rate, 0x00, stream);
    QTest::mouseClick(c().btnUpdateStatus, Qt::LeftButton);
  }
  QList<bool> StreamLabelsEnabled() {
    return {c().lblCurrentFormat0->isEnabled(), c().lblCurrentFormat1->isEnabled(), c().lblCurrentFreq0->isEnabled(),
            c().lblCurrentFreq1->isEnabled()};
  }

private slots:
  void init() {
    w = std::make_unique<SimWindow>();
    w->Open(c().Information);
  }
  void cleanup() { w.reset(); }

  void updateShowsAPlayingStream() {
    w->chip.Registers().Write(0x00, 0x0E); // another bank left selected
    Update(0x01, 0x03);
    QCOMPARE(w->Traffic(), (Lines{"W 00=00", "R A4", "R A5", "R A6"}));
    QCOMPARE(c().lblConnect->text(), QString("USB connected"));
    QCOMPARE(c().lblMute->text(), QString("Playing"));
    QCOMPARE(c().lblCurrentFormat1->text(), QString("PCM"));
    QCOMPARE(c().lblCurrentFreq1->text(), QString("   96KHz"));
    QVERIFY(c().lblMute->isEnabled());
    QCOMPARE(StreamLabelsEnabled(), (QList<bool>{true, true, true, true}));

    Update(0x03, 0x09);
    QCOMPARE(c().lblCurrentFormat1->text(), QString("DSD"));
    QCOMPARE(c().lblCurrentFreq1->text(), QString(" DSD 128"));
  }

  void aMutedStreamDisablesFormatAndRateKeepingTheirCaptions() {
    Update(0x03, 0x09);
    Update(0x05, 0x03);
    QCOMPARE(c().lblMute->text(), QString("Mute"));
    QVERIFY(c().lblMute->isEnabled());
    QCOMPARE(StreamLabelsEnabled(), (QList<bool>{false, false, false, false}));
    QCOMPARE(c().lblCurrentFormat1->text(), QString("DSD"));
    QCOMPARE(c().lblCurrentFreq1->text(), QString(" DSD 128"));
    // Playing again enables them.
    Update(0x01, 0x00);
    QCOMPARE(StreamLabelsEnabled(), (QList<bool>{true, true, true, true}));
    QCOMPARE(c().lblCurrentFreq1->text(), QString(" 44.1KHz"));
  }

  void noStreamingConnectionDisablesTheOtherLabels() {
    Update(0x00, 0x03);
    QCOMPARE(c().lblConnect->text(), QString("USB Disconnected"));
    QVERIFY(c().lblConnect->isEnabled());
    QVERIFY(!c().lblMute->isEnabled());
    QCOMPARE(StreamLabelsEnabled(), (QList<bool>{false, false, false, false}));
  }

  void hidPlaySendsItsCodeAndWaitsForTheFirmware() {
    QTest::mouseClick(c().btnHID2, Qt::LeftButton);
    QCOMPARE(w->Traffic(), (Lines{"W 00=00", "W 91=10", "W 90=30", "R 90"}));
    QCOMPARE(w->chip.Firmware().MediaKeys(), (std::vector<uint8_t>{0x10}));
    QVERIFY(!w->state.usb.HasHandle());
    QVERIFY(w->dialogs.exceptions.isEmpty() && w->dialogs.messages.isEmpty());
  }

  void eachMediaKeyButtonSendsItsCode() {
    for (QPushButton *button : {c().btnHID0, c().btnHID1, c().btnHID2, c().btnHID3, c().btnHID4})
      QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(w->chip.Firmware().MediaKeys(), (std::vector<uint8_t>{0x40, 0x02, 0x10, 0x01, 0x20}));
  }
};

QTEST_MAIN(InformationPageTest)
#include "information_page_test.moc"
