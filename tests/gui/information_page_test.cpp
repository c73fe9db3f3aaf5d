#include "support/BenchWindow.h"

#include <QTest>

#include <memory>

using namespace orvane;
using namespace orvane::testing;

using Lines = std::vector<std::string>;

// The information page driven through the window against a device.
class InformationPageTest : public QObject {
  Q_OBJECT

  std::unique_ptr<BenchWindow> w;
  Ui::TForm1 &c() { return w->c(); }
  test::RegisterBench &bench() { return w->bench; }

  void Update(uint8_t stream, uint8_t rate) {
    bench().registers.At(0, 0xA6) = stream;
    bench().registers.At(0, 0xA4) = rate;
    QTest::mouseClick(c().btnUpdateStatus, Qt::LeftButton);
  }
  QList<bool> StreamLabelsEnabled() {
    return {c().lblCurrentFormat0->isEnabled(), c().lblCurrentFormat1->isEnabled(), c().lblCurrentFreq0->isEnabled(),
            c().lblCurrentFreq1->isEnabled()};
  }

private slots:
  void init() {
    w = std::make_unique<BenchWindow>();
    w->Open(c().Information);
  }
  void cleanup() { w.reset(); }

  void updateShowsAPlayingStream() {
    Update(0x01, 0x03);
    QCOMPARE(bench().Traffic(), (Lines{"W 00=00", "R A4", "R A5", "R A6"}));
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

  void eachMediaKeyButtonSendsItsCode() {
    // The firmware answers the media-key command at once.
    bench().registers.afterWrite = [&](uint8_t, uint8_t address, uint8_t value) {
      if (address == 0x90 && value == 0x30)
        bench().registers.At(0, 0x90) = 0x31;
    };
    const std::pair<QPushButton *, const char *> keys[] = {{c().btnHID0, "W 91=40"},
                                                           {c().btnHID1, "W 91=02"},
                                                           {c().btnHID2, "W 91=10"},
                                                           {c().btnHID3, "W 91=01"},
                                                           {c().btnHID4, "W 91=20"}};
    for (const auto &[button, codeWrite] : keys) {
      bench().transport.ClearTransfers();
      QTest::mouseClick(button, Qt::LeftButton);
      QCOMPARE(bench().Traffic(), (Lines{"W 00=00", codeWrite, "W 90=30", "R 90"}));
    }
  }

  void hidPlayWithoutAnAnswerReadsTheCommandRegisterTenTimes() {
    const uint64_t start = bench().clock.NowUs();
    QTest::mouseClick(c().btnHID2, Qt::LeftButton);
    const Lines traffic = bench().Traffic();
    QCOMPARE(traffic.size(), size_t{13});
    QCOMPARE(Lines(traffic.begin(), traffic.begin() + 3), (Lines{"W 00=00", "W 91=10", "W 90=30"}));
    QCOMPARE(std::count(traffic.begin(), traffic.end(), "R 90"), 10);
    QCOMPARE(bench().clock.NowUs() - start, uint64_t{100000});
    QVERIFY(!bench().state.usb.HasHandle());
    QVERIFY(w->dialogs.exceptions.isEmpty() && w->dialogs.messages.isEmpty());
  }
};

QTEST_MAIN(InformationPageTest)
#include "information_page_test.moc"
