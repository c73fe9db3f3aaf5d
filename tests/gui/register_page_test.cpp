#include "app/StringGrid.h"
#include "panels/DeviceActionGuard.h"
#include "support/SimWindow.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QTest>

#include <memory>

using namespace orvane;
using namespace orvane::testing;

using Lines = std::vector<std::string>;

// The register page driven through the window against the simulated chip.
class RegisterPageTest : public QObject {
  Q_OBJECT

  std::unique_ptr<SimWindow> w;
  Ui::TForm1 &c() { return w->c(); }
  sim::ChipSimulator &chip() { return w->chip; }
  QTableWidget &grid() { return *c().RegStringGrid1; }
  QCheckBox *bit(int n) { return w->form.findChild<QCheckBox *>(QString("chkBit%1").arg(n)); }

  void ClickCell(int col, int row) {
    const QRect cell = grid().visualItemRect(grid().item(row, col));
    QTest::mouseClick(grid().viewport(), Qt::LeftButton, {}, cell.center());
  }
  void TypeIntoCell(const QString &text) {
    grid().editItem(grid().item(grid().currentRow(), grid().currentColumn()));
    auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
    QVERIFY(editor);
    editor->selectAll();
    QTest::keyClick(editor, Qt::Key_Backspace);
    QTest::keyClicks(editor, text);
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents(); // the editor closes
  }
  // Runs action once, as a queued event, when register `address` is read.
  void WhenRead(uint8_t address, std::function<void()> action) {
    chip().SetTransferObserver(
        [this, address, action](const SetupPacket &setup, const uint8_t *, const TransferResult &) mutable {
          if (action && setup.isIn() && setup.request == 0x91 && setup.index == address) {
            QTimer::singleShot(0, &w->form, action);
            action = nullptr;
          }
        });
  }
  QColor HeaderColour(int col, int row) { return grid().item(row, col)->background().color(); }
  int ButtonTag() { return c().btnReadAll->property("tag").toInt(); }

private slots:
  void init() {
    w = std::make_unique<SimWindow>();
    for (int a = 1; a < 256; ++a)
      chip().Registers().Poke(0, static_cast<uint8_t>(a), static_cast<uint8_t>(255 - a));
    chip().SetStreamStatus(0x03, 0x00, 0x01);
    w->Open(c().TabSheet1);
  }
  void cleanup() { w.reset(); }

  void readBankFillsTheGridRowByRow() {
    QCOMPARE(c().btnReadAll->text(), QString("Read Bank"));
    QCOMPARE(ButtonTag(), 0);
    QTest::mouseClick(c().btnReadAll, Qt::LeftButton);
    const Lines traffic = w->Traffic();
    QCOMPARE(traffic.size(), size_t{256});
    QCOMPARE(traffic.front(), std::string("R 00"));
    QCOMPARE(traffic[0x10], std::string("R 10"));
    QCOMPARE(traffic.back(), std::string("R FF"));
    QCOMPARE(Cell(grid(), 1, 1), QString("00")); // the bank select
    QCOMPARE(Cell(grid(), 2, 1), QString("FE"));
    QCOMPARE(Cell(grid(), 1, 2), QString("EF"));
    QCOMPARE(Cell(grid(), 7, 11), QString("01")); // 0xA6: the firmware's stream status
    QCOMPARE(Cell(grid(), 16, 16), QString("00"));
    QCOMPARE(Cell(grid(), 1, 0), QString("00")); // headers untouched
    QCOMPARE(Cell(grid(), 0, 16), QString("F0"));
    QCOMPARE(c().btnReadAll->text(), QString("Read Bank"));
    QCOMPARE(ButtonTag(), 0);
    QVERIFY(!w->state.usb.HasHandle());
  }

  void stopEndsTheReadAndTheButtonShowsStopMeanwhile() {
    QString captionDuringRead;
    int tagDuringRead = -1;
    WhenRead(0x40, [&] {
      captionDuringRead = c().btnReadAll->text();
      tagDuringRead = ButtonTag();
      QTest::mouseClick(c().btnReadAll, Qt::LeftButton);
    });
    QTest::mouseClick(c().btnReadAll, Qt::LeftButton);
    QCOMPARE(captionDuringRead, QString("Stop"));
    QCOMPARE(tagDuringRead, 1);
    QCOMPARE(w->Traffic().size(), size_t{0x41});
    QCOMPARE(Cell(grid(), 1, 5), QString("BF"));
    QCOMPARE(Cell(grid(), 2, 5), QString());
    QCOMPARE(c().btnReadAll->text(), QString("Read Bank"));
    QCOMPARE(ButtonTag(), 0);
    QVERIFY(!w->state.usb.HasHandle());
  }

  void whileABankIsReadTheOtherDeviceActionsSendNothing() {
    WhenRead(0x20, [&] {
      ClickCell(3, 3);
      QTest::mouseClick(bit(3), Qt::LeftButton);
      QTest::mouseClick(c().btnUpdateStatus, Qt::LeftButton);
      QTest::mouseClick(c().btnHID2, Qt::LeftButton);
    });
    QTest::mouseClick(c().btnReadAll, Qt::LeftButton);
    const Lines traffic = w->Traffic();
    QCOMPARE(traffic.size(), size_t{256});
    for (size_t i = 0; i < traffic.size(); ++i)
      QCOMPARE(traffic[i].substr(0, 2), std::string("R "));
    QVERIFY(chip().Firmware().MediaKeys().empty());
    QCOMPARE(c().lblRegAddr->text(), QString("Reg 0x22"));
  }

  // What cannot act while a bank is read is greyed; Read Bank, now Stop,
  // is not. Afterwards all are back.
  void whileABankIsReadTheControlsThatCannotActAreGreyed() {
    const std::vector<QWidget *> waiting = {c().Panel2,
                                            c().btnReadMI2C,
                                            c().Panel3,
                                            c().btnWriteSpecI2C,
                                            c().btnReadSpecI2C,
                                            c().btnUpdateStatus,
                                            c().btnHID0,
                                            c().btnHID1,
                                            c().btnHID2,
                                            c().btnHID3,
                                            c().btnHID4,
                                            c().lbledSysVID,
                                            c().lbledSysPID,
                                            c().lbledSysStr1,
                                            c().lbledSysStr2,
                                            c().lbledSysStr3,
                                            c().btnReadPara,
                                            c().btnSetPara,
                                            c().lbledtUSBWriteStatus,
                                            c().btnReadBack};
    QStringList live;
    bool stopLive = false;
    WhenRead(0x20, [&] {
      for (QWidget *control : waiting)
        if (control->isEnabled())
          live << control->objectName();
      stopLive = c().btnReadAll->isEnabled() && c().btnReadAll->text() == "Stop";
    });
    QTest::mouseClick(c().btnReadAll, Qt::LeftButton);
    QCOMPARE(live, QStringList());
    QVERIFY(stopLive);
    for (QWidget *control : waiting)
      QVERIFY2(control->isEnabled(), qPrintable(control->objectName()));
    QVERIFY(c().btnReadAll->isEnabled());
  }

  // A value typed while another action holds the device is not written:
  // the cell shows again what the register holds.
  void aRefusedWriteLeavesTheCellAtTheChipsValue() {
    ClickCell(3, 3); // register 0x22, reads DD
    QCOMPARE(Cell(grid(), 3, 3), QString("DD"));
    w->transport.ClearTransfers();
    {
      const DeviceActionGuard other(w->state.monitor);
      TypeIntoCell("55");
      QCOMPARE(Cell(grid(), 3, 3), QString("DD"));
      grid().setFocus();
      QTest::keyClick(&grid(), Qt::Key_Insert);
      QCOMPARE(Cell(grid(), 3, 3), QString("DD"));
    }
    QVERIFY(w->transport.Transfers().empty());
    QCOMPARE(chip().Registers().Peek(0, 0x22), 0xDD);
    ClickCell(9, 9);
    QCOMPARE(Cell(grid(), 3, 3), QString("DD"));
  }

  void readBankWithNoDeviceDoesNothing() {
    w->state.usb.ClearFound();
    const QStringList before = DescribeWindow(w->form);
    QTest::mouseClick(c().btnReadAll, Qt::LeftButton);
    QVERIFY(w->transport.Transfers().empty());
    QCOMPARE(chip().OpenConnections(), 0);
    QCOMPARE(DescribeWindow(w->form), before);
  }

  void selectingTheLastCellReadsRegisterFFAndHighlightsItsHeaders() {
    chip().Registers().Poke(0, 0xFF, 0xA5);
    ClickCell(3, 2);
    ClickCell(16, 16);
    QCOMPARE(w->Traffic(), (Lines{"R 12", "R FF"}));
    QCOMPARE(c().lblRegAddr->text(), QString("Reg 0xFF"));
    QCOMPARE(c().lblRegData->text(), QString("= 0xA5"));
    QCOMPARE(Cell(grid(), 16, 16), QString("A5"));
    for (int n = 0; n < 8; ++n)
      QCOMPARE(bit(n)->isChecked(), ((0xA5 >> n) & 1) == 1);
    const QColor silver(0xC0, 0xC0, 0xC0);
    const QColor plain = grid().palette().color(QPalette::Button);
    QCOMPARE(HeaderColour(16, 0), silver);
    QCOMPARE(HeaderColour(0, 16), silver);
    QCOMPARE(HeaderColour(3, 0), plain);
    QCOMPARE(HeaderColour(0, 2), plain);
    QCOMPARE(HeaderColour(1, 0), plain);
  }

  void selectingWithNoDeviceStillNamesTheRegisterAndHighlights() {
    chip().Unplug();
    ClickCell(5, 4);
    QCOMPARE(c().lblRegAddr->text(), QString("Reg 0x34"));
    QCOMPARE(HeaderColour(5, 0), QColor(0xC0, 0xC0, 0xC0));
    QCOMPARE(HeaderColour(0, 4), QColor(0xC0, 0xC0, 0xC0));
  }

  void typedValueAboveFFWritesItsLowByte() {
    ClickCell(2, 3); // register 0x21
    w->transport.ClearTransfers();
    TypeIntoCell("1FF");
    QCOMPARE(w->Traffic(), (Lines{"W 21=FF", "R 21"}));
    QCOMPARE(chip().Registers().Peek(0, 0x21), 0xFF);
    QCOMPARE(Cell(grid(), 2, 3), QString("FF"));
    QVERIFY(bit(7)->isChecked());
    QVERIFY(w->dialogs.exceptions.isEmpty());
    // The labels stay on the selection's read.
    QCOMPARE(c().lblRegData->text(), QString("= 0xDE"));
    // Leaving the cell keeps the read-back, not the typed text.
    ClickCell(9, 9);
    QCOMPARE(Cell(grid(), 2, 3), QString("FF"));
  }

  void anEmptyCellIsRefusedWithTheConversionErrorAndNothingIsWritten() {
    ClickCell(2, 3);
    w->transport.ClearTransfers();
    TypeIntoCell("");
    QCOMPARE(w->dialogs.exceptions, QStringList{"'0x' is not a valid integer value"});
    QVERIFY(w->transport.Transfers().empty());
    QCOMPARE(chip().Registers().Peek(0, 0x21), 0xDE);
  }

  void insertAndDeleteStepTheRegisterButNotPastItsEnds() {
    chip().Registers().Poke(0, 0x05, 0xFF);
    chip().Registers().Poke(0, 0x06, 0x00);
    ClickCell(6, 1); // register 0x05, reads FF
    w->transport.ClearTransfers();
    QTest::keyClick(&grid(), Qt::Key_Insert);
    QVERIFY(w->transport.Transfers().empty());
    QTest::keyClick(&grid(), Qt::Key_Delete);
    QCOMPARE(w->Traffic(), (Lines{"W 05=FE", "R 05"}));
    QCOMPARE(Cell(grid(), 6, 1), QString("FE"));

    ClickCell(7, 1); // register 0x06, reads 00
    w->transport.ClearTransfers();
    QTest::keyClick(&grid(), Qt::Key_Delete);
    QVERIFY(w->transport.Transfers().empty());
    QTest::keyClick(&grid(), Qt::Key_Insert);
    QCOMPARE(w->Traffic(), (Lines{"W 06=01", "R 06"}));
    QVERIFY(bit(0)->isChecked());
  }

  void aBitBoxClickWritesTheRegisterAndShowsTheReadBack() {
    // 0xA6 belongs to the firmware: what is written there does not stay.
    ClickCell(7, 11);
    w->transport.ClearTransfers();
    const uint64_t before = w->clock.NowUs();
    QTest::mouseClick(bit(7), Qt::LeftButton);
    QCOMPARE(w->Traffic(), (Lines{"W A6=81", "R A6"}));
    QCOMPARE(w->clock.NowUs() - before, uint64_t{3000});
    QVERIFY(!bit(7)->isChecked());
    QVERIFY(bit(0)->isChecked());
    QCOMPARE(Cell(grid(), 7, 11), QString("01"));
    QCOMPARE(c().lblRegData->text(), QString("= 0x01"));

    chip().Registers().Poke(0, 0x44, 0x00);
    ClickCell(5, 5);
    w->transport.ClearTransfers();
    QTest::mouseClick(bit(2), Qt::LeftButton);
    QCOMPARE(w->Traffic(), (Lines{"W 44=04", "R 44"}));
    QVERIFY(bit(2)->isChecked());
    QCOMPARE(Cell(grid(), 5, 5), QString("04"));
    QCOMPARE(c().lblRegAddr->text(), QString("Reg 0x44"));
    QCOMPARE(c().lblRegData->text(), QString("= 0x04"));
  }

  void bitBoxesWriteOnMouseReleaseOnly() {
    ClickCell(5, 5);
    w->transport.ClearTransfers();
    bit(1)->setChecked(true);
    bit(1)->setFocus();
    QTest::keyClick(bit(1), Qt::Key_Space);
    QVERIFY(w->transport.Transfers().empty());
  }
};

QTEST_MAIN(RegisterPageTest)
#include "register_page_test.moc"
