#include "app/StringGrid.h"
#include "panels/DeviceActionGuard.h"
#include "support/WindowTestSupport.h"
#include "testing/SimulatedDeviceStack.h"
#include "ui_Unit1.h"

#include <QTest>
#include <QTimer>

#include <memory>

using namespace orvane;
using namespace orvane::testing;

// The I2C page and the special I2C group in the service view, against the
// simulated chip: its register device at 0x20 and its EEPROM at 0xA0.
class I2cPageTest : public QObject {
  Q_OBJECT

  std::unique_ptr<SimulatedDeviceStack> devices;
  std::unique_ptr<StartedWindow> started;
  sim::ChipSimulator *chip = nullptr;

  TForm1 &form() { return started->form; }
  Ui::TForm1 &c() { return started->form.Controls(); }
  QTableWidget &grid() { return *c().StringGridMIIC; }
  QString GridCell(uint8_t reg) { return Cell(grid(), reg % 16 + 1, reg / 16 + 1); }

  void ShowPage(QWidget *page) {
    c().MainPageControl->setCurrentWidget(page);
    QVERIFY(QTest::qWaitForWindowExposed(&form()));
  }
  void TypeAndEnter(QLineEdit *box, const QString &text) {
    box->setFocus();
    box->setText(text);
    QTest::keyClick(box, Qt::Key_Return);
  }
  void TypeIntoCell(int col, int row, const QString &text) {
    grid().setCurrentCell(row, col);
    grid().editItem(grid().item(row, col));
    auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
    QVERIFY(editor);
    editor->selectAll();
    QTest::keyClicks(editor, text);
  }
  uint8_t EepromByte(uint8_t at) { return chip->Eeprom().Bytes()[at]; }

private slots:
  void init() {
    devices = std::make_unique<SimulatedDeviceStack>();
    started = ShowStartedWindow(*devices);
    QVERIFY(started);
    form().Timer1()->stop(); // the device is found by hand below
    chip = &devices->PlugChip("sim");
    form().SetServiceView(true);
    QVERIFY(started->state.usb.SetTarget("vid_3b5d&pid_6000"));
    QVERIFY(started->state.usb.FindDevice());
  }
  void cleanup() {
    started.reset();
    devices.reset();
  }

  void showingThePageSetsUpTheMaster() {
    QCOMPARE(chip->Registers().Bank(), uint8_t{0});
    ShowPage(c().PageMI2CCtrl);
    QCOMPARE(chip->Registers().Bank(), uint8_t{0x0E});
    QCOMPARE(chip->Registers().Peek(0x0E, 0x11), uint8_t{4});
    QVERIFY(!started->state.usb.HasHandle());
  }

  void readAllFillsTheGridWithTheSlavesRegisters() {
    ShowPage(c().PageMI2CCtrl);
    QTest::mouseClick(c().btnReadMI2C, Qt::LeftButton);
    QCOMPARE(c().btnReadMI2C->text(), QString("Read"));
    // The part at 0x20 has 16 registers; its pointer wraps around them.
    for (int n = 0; n < 256; ++n) {
      const auto reg = static_cast<uint8_t>(n);
      QCOMPARE(GridCell(reg), QString("%1").arg(chip->RegisterDevice().Value(reg % 16), 2, 16, QChar('0')).toUpper());
    }
    QCOMPARE(GridCell(0x00), QString("5A"));
    QCOMPARE(GridCell(0x11), QString("60"));
    QCOMPARE(c().lblMI2CRegAddr->text(), QString("Reg 0x00"));
  }

  void stopEndsTheReadAllBeforeTheNextRegister() {
    ShowPage(c().PageMI2CCtrl);
    // Runs at the first turn of the message loop, after register 0x00.
    QTimer::singleShot(0, this, [this] {
      QCOMPARE(c().btnReadMI2C->text(), QString("Stop"));
      QTest::mouseClick(c().btnReadMI2C, Qt::LeftButton);
    });
    QTest::mouseClick(c().btnReadMI2C, Qt::LeftButton);
    QCOMPARE(c().btnReadMI2C->text(), QString("Read"));
    QCOMPARE(GridCell(0x00), QString("5A"));
    QCOMPARE(GridCell(0x01), QString());
    QCOMPARE(GridCell(0xFF), QString());
    QVERIFY(!started->state.usb.HasHandle());
  }

  void selectingACellReadsItAndHighlightsItsHeaders() {
    ShowPage(c().PageMI2CCtrl);
    grid().setCurrentCell(1, 2); // register 0x01
    QCOMPARE(GridCell(0x01), QString("60"));
    QCOMPARE(c().lblMI2CRegAddr->text(), QString("Reg 0x01"));
    QCOMPARE(c().lblMI2CRegData->text(), QString("= 0x60"));
    QVERIFY(c().chkMI2CBit6->isChecked() && c().chkMI2CBit5->isChecked());
    QVERIFY(!c().chkMI2CBit7->isChecked() && !c().chkMI2CBit0->isChecked());

    const QColor silver(0xC0, 0xC0, 0xC0);
    QCOMPARE(grid().item(0, 2)->background().color(), silver);
    QCOMPARE(grid().item(1, 0)->background().color(), silver);
    grid().setCurrentCell(16, 16); // register 0xFF
    QCOMPARE(c().lblMI2CRegAddr->text(), QString("Reg 0xFF"));
    QCOMPARE(grid().item(0, 16)->background().color(), silver);
    QCOMPARE(grid().item(16, 0)->background().color(), silver);
    QVERIFY(grid().item(0, 2)->background().color() != silver);
    QVERIFY(grid().item(1, 0)->background().color() != silver);
  }

  void aReadOnlyBitShowsClearedAfterTheReadBack() {
    ShowPage(c().PageMI2CCtrl);
    grid().setCurrentCell(1, 2); // register 0x01: bits 7-4 read-only, 0x60
    QTest::mouseClick(c().chkMI2CBit7, Qt::LeftButton);
    QTest::mouseClick(c().chkMI2CBit0, Qt::LeftButton);
    QCOMPARE(chip->RegisterDevice().Value(0x01), uint8_t{0x61});
    QVERIFY(!c().chkMI2CBit7->isChecked());
    QVERIFY(c().chkMI2CBit0->isChecked());
    QCOMPARE(GridCell(0x01), QString("61"));
    QCOMPARE(c().lblMI2CRegData->text(), QString("= 0x61"));
  }

  void aKeyboardToggleOfABitBoxWritesNothing() {
    ShowPage(c().PageMI2CCtrl);
    grid().setCurrentCell(1, 3); // register 0x02, 0x0F
    const uint64_t before = chip->TransferCount();
    c().chkMI2CBit4->setFocus();
    QTest::keyClick(c().chkMI2CBit4, Qt::Key_Space);
    QVERIFY(c().chkMI2CBit4->isChecked());
    QCOMPARE(chip->TransferCount(), before);
  }

  void gridKeysWriteTheEepromAndShowTheReadBack() {
    ShowPage(c().PageMI2CCtrl);
    TypeAndEnter(c().edtMI2CAddr, "a0");
    QCOMPARE(c().edtMI2CAddr->text(), QString("A0"));
    TypeIntoCell(6, 1, "3c"); // register 0x05
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(EepromByte(0x05), uint8_t{0x3C});
    QCOMPARE(GridCell(0x05), QString("3C"));
    QVERIFY(c().chkMI2CBit2->isChecked() && !c().chkMI2CBit0->isChecked());

    grid().setFocus();
    QTest::keyClick(&grid(), Qt::Key_Insert);
    QCOMPARE(EepromByte(0x05), uint8_t{0x3D});
    QCOMPARE(GridCell(0x05), QString("3D"));
    QTest::keyClick(&grid(), Qt::Key_Delete);
    QTest::keyClick(&grid(), Qt::Key_Delete);
    QCOMPARE(EepromByte(0x05), uint8_t{0x3B});
    QCOMPARE(GridCell(0x05), QString("3B"));
  }

  // A value typed while another action holds the device is not written:
  // the cell shows again what the register holds.
  void aRefusedWriteLeavesTheCellAtTheRegistersValue() {
    ShowPage(c().PageMI2CCtrl);
    TypeAndEnter(c().edtMI2CAddr, "a0");
    TypeIntoCell(6, 1, "3c"); // register 0x05
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(GridCell(0x05), QString("3C"));
    const uint64_t transfers = chip->TransferCount();
    {
      const DeviceActionGuard other(started->state.monitor);
      TypeIntoCell(6, 1, "77");
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
      QCOMPARE(GridCell(0x05), QString("3C"));
      QVERIFY(!c().btnReadMI2C->isEnabled());
    }
    QCOMPARE(chip->TransferCount(), transfers);
    QCOMPARE(EepromByte(0x05), uint8_t{0x3C});
    QVERIFY(c().btnReadMI2C->isEnabled());
  }

  // Read, now Stop, stays live during its own read-all.
  void readAllKeepsItsStopButton() {
    ShowPage(c().PageMI2CCtrl);
    TypeAndEnter(c().edtMI2CAddr, "a0");
    bool stopLive = false, othersGreyed = false;
    int reads = 0;
    chip->SetTransferObserver([&](const SetupPacket &, const uint8_t *, const TransferResult &) {
      if (++reads == 40)
        QTimer::singleShot(0, &form(), [&] {
          stopLive = c().btnReadMI2C->isEnabled() && c().btnReadMI2C->text() == "Stop";
          othersGreyed = !c().Panel3->isEnabled() && !c().btnReadSpecI2C->isEnabled() && !c().btnReadAll->isEnabled();
          QTest::mouseClick(c().btnReadMI2C, Qt::LeftButton);
        });
    });
    QTest::mouseClick(c().btnReadMI2C, Qt::LeftButton);
    QVERIFY(stopLive);
    QVERIFY(othersGreyed);
    QCOMPARE(c().btnReadMI2C->text(), QString("Read"));
    QVERIFY(c().Panel3->isEnabled());
  }

  void insertOnATypedValueStepsFromIt() {
    ShowPage(c().PageMI2CCtrl);
    TypeAndEnter(c().edtMI2CAddr, "A0");
    TypeIntoCell(1, 2, "7"); // register 0x10, not committed
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Insert);
    QCOMPARE(EepromByte(0x10), uint8_t{0x08});
    QCOMPARE(GridCell(0x10), QString("08"));
  }

  void slaveAddressBoxes() {
    TypeAndEnter(c().edtMI2CAddr, "123");
    QCOMPARE(c().edtMI2CAddr->text(), QString("23"));
    QCOMPARE(started->state.i2c.I2cSlaveAddress, uint8_t{0x23});

    ShowPage(c().Information);
    TypeAndEnter(c().edtMI2CAddr1, "a0");
    QCOMPARE(c().edtMI2CAddr1->text(), QString("a0"));
    QCOMPARE(c().edtMI2CAddr->text(), QString("A0"));
    QCOMPARE(started->state.i2c.I2cSlaveAddress, uint8_t{0xA0});

    c().edtMI2CAddr1->setText("zz");
    QTest::keyClick(c().edtMI2CAddr1, Qt::Key_A);
    QVERIFY(started->dialogs.exceptions.isEmpty());
    TypeAndEnter(c().edtMI2CAddr1, "zz");
    QCOMPARE(started->dialogs.exceptions, QStringList{"'0xzz' is not a valid integer value"});
    QCOMPARE(started->state.i2c.I2cSlaveAddress, uint8_t{0xA0});
    QCOMPARE(c().edtMI2CAddr->text(), QString("A0"));
  }

  void theLengthBarsEnableTheirBoxes() {
    ShowPage(c().Information);
    c().srblen0->setValue(3);
    QCOMPARE(c().lbllencmd->text(), QString("3"));
    for (int k = 0; k < 5; ++k)
      QCOMPARE(form().findChild<QLineEdit *>("edtI2Ccmd" + QString::number(k))->isEnabled(), k < 3);
    c().srblen1->setValue(5);
    c().srblen1->setValue(2);
    QCOMPARE(c().lbllendat->text(), QString("2"));
    for (int k = 0; k < 5; ++k)
      QCOMPARE(form().findChild<QLineEdit *>("edtI2Cdat" + QString::number(k))->isEnabled(), k < 2);
  }

  void rawWriteThenRawReadRoundTripsThroughTheEeprom() {
    ShowPage(c().Information);
    TypeAndEnter(c().edtMI2CAddr1, "A0");
    c().srblen1->setValue(3);
    c().edtI2Ccmd0->setText("5"); // 0x50
    c().edtI2Cdat0->setText("de");
    c().edtI2Cdat1->setText("AD");
    c().edtI2Cdat2->setText("be");
    QTest::mouseClick(c().btnWriteSpecI2C, Qt::LeftButton);
    QCOMPARE(EepromByte(0x50), uint8_t{0xDE});
    QCOMPARE(EepromByte(0x52), uint8_t{0xBE});
    QCOMPARE(c().lblSpecI2CStatus->text(), QString("OK"));

    for (QLineEdit *box : {c().edtI2Cdat0, c().edtI2Cdat1, c().edtI2Cdat2})
      box->setText("00");
    QTest::mouseClick(c().btnReadSpecI2C, Qt::LeftButton);
    QCOMPARE(c().edtI2Cdat0->text(), QString("DE"));
    QCOMPARE(c().edtI2Cdat1->text(), QString("AD"));
    QCOMPARE(c().edtI2Cdat2->text(), QString("BE"));
    QCOMPARE(c().lblSpecI2CStatus->text(), QString("OK"));
  }

  void aFailedRawReadKeepsTheDataBoxes() {
    ShowPage(c().Information);
    TypeAndEnter(c().edtMI2CAddr1, "50"); // nobody there
    c().edtI2Cdat0->setText("12");
    QTest::mouseClick(c().btnReadSpecI2C, Qt::LeftButton);
    QCOMPARE(c().edtI2Cdat0->text(), QString("12"));
    QCOMPARE(c().lblSpecI2CStatus->text(), QString("No acknowledge"));
  }

  void aDeviceGoneAfterOpenIsNotANoAcknowledge() {
    ShowPage(c().Information);
    TypeAndEnter(c().edtMI2CAddr1, "A0");
    devices->transport.SetScriptHook(
        [](const std::string &, const SetupPacket &, uint8_t *) -> std::optional<TransferResult> {
          return TransferResult{TransferStatus::Failed, 0};
        });
    QTest::mouseClick(c().btnReadSpecI2C, Qt::LeftButton);
    QCOMPARE(c().lblSpecI2CStatus->text(), QString("USB transfer failed"));
    devices->transport.SetScriptHook(nullptr);
  }
};

QTEST_MAIN(I2cPageTest)
#include "i2c_page_test.moc"
