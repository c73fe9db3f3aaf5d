#include "app/StringGrid.h"
#include "app/VirtualKeys.h"
#include "panels/ConvertError.h"
#include "support/WindowTestSupport.h"
#include "ui_Unit1.h"

#include <QTest>

#include <memory>

using namespace orvane;
using namespace orvane::testing;

// The binding helpers the pages use: handlers run through Guarded, key
// presses arrive with the key codes of panels/KeyCodes.h.
class HandlerBindingTest : public QObject {
  Q_OBJECT

  std::unique_ptr<StartedWindow> started;
  TForm1 &form() { return started->form; }
  Ui::TForm1 &c() { return started->form.Controls(); }

private slots:
  void init() {
    started = ShowStartedWindow();
    QVERIFY(started);
    form().SetServiceView(true); // so the engineering controls can take the focus
  }
  void cleanup() { started.reset(); }

  void escapedExceptionsAreReportedAndSwallowed() {
    bool after = false;
    form().Guarded([] { StrToInt("0xZZ"); });
    form().Guarded([] { throw 42; });
    form().Guarded([&] { after = true; });
    QCOMPARE(started->dialogs.exceptions, (QStringList{"'0xZZ' is not a valid integer value", QString()}));
    QVERIFY(after);
  }

  void keyCodesReachTheHandler() {
    QList<int> keys;
    QObject *sender = nullptr;
    QLineEdit *box = c().lbledISPStart;
    form().OnKeyDown(box, [&](QObject *s, int &key) {
      sender = s;
      keys << key;
    });
    c().MainPageControl->setCurrentWidget(c().PageISPCtrl);
    c().gbxISPRange->show();
    box->setFocus();
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Insert, Qt::Key_Delete, Qt::Key_A, Qt::Key_7})
      QTest::keyClick(box, key);
    QTest::keyClick(box, Qt::Key_Shift); // no code: not passed on
    QCOMPARE(sender, box);
    QCOMPARE(keys, (QList<int>{vk::Return, vk::Return, vk::Insert, vk::Delete, 'A', '7'}));
  }

  void aHandlerCanSwallowTheKey() {
    QLineEdit *box = c().edtMI2CAddr1;
    form().OnKeyDown(box, [](QObject *, int &key) {
      if (key == 'X')
        key = 0;
    });
    box->clear();
    QTest::keyClicks(box, "axb");
    QCOMPARE(box->text(), QString("ab"));
  }

  void anExceptionInAKeyHandlerIsReported() {
    QLineEdit *box = c().edtMI2CAddr;
    form().OnKeyDown(box, [](QObject *, int &key) {
      if (key == vk::Return)
        StrToInt("0x");
    });
    QTest::keyClick(box, Qt::Key_Return);
    QTest::keyClick(box, Qt::Key_Return);
    QCOMPARE(started->dialogs.exceptions,
             (QStringList{"'0x' is not a valid integer value", "'0x' is not a valid integer value"}));
  }

  void gridKeysIncludeTheCellEditor() {
    QTableWidget *grid = c().RegStringGrid1;
    c().MainPageControl->setCurrentWidget(c().TabSheet1);
    QList<int> keys;
    QList<QObject *> senders;
    QString cellAtEnter;
    form().OnKeyDown(grid, [&](QObject *s, int &key) {
      senders << s;
      keys << key;
      if (key == vk::Return)
        cellAtEnter = Cell(*grid, grid->currentColumn(), grid->currentRow());
    });
    grid->setFocus();
    grid->setCurrentCell(2, 3); // row 2, column 3
    QTest::keyClick(grid, Qt::Key_Insert);
    QTest::keyClick(grid, Qt::Key_Delete);

    grid->editItem(grid->item(2, 3));
    auto *editor = grid->viewport()->findChild<QLineEdit *>();
    QVERIFY(editor);
    editor->selectAll();
    QTest::keyClicks(editor, "1ff");
    QTest::keyClick(editor, Qt::Key_Return);
    QCOMPARE(cellAtEnter, QString("1ff"));
    QCOMPARE(keys, (QList<int>{vk::Insert, vk::Delete, '1', 'F', 'F', vk::Return}));
    for (QObject *s : senders)
      QCOMPARE(s, grid);
  }

  void checkBoxesAndRadioButtonsRunTheirHandlerFromCode() {
    QStringList runs;
    auto record = [&](QObject *s) { runs << s->objectName(); };
    form().OnClick(c().chkI2SLRSwap, record);
    form().OnClick(c().rbnI2Slen0, record);
    form().OnClick(c().rbnI2Slen1, record);
    form().OnClick(c().btnReadPara, record);

    c().chkI2SLRSwap->setChecked(true);
    c().chkI2SLRSwap->setChecked(true); // no change: no click
    c().chkI2SLRSwap->setChecked(false);
    c().rbnI2Slen1->setChecked(true); // rbnI2Slen0 is deselected: only the new one runs
    c().rbnI2Slen1->setChecked(true);
    QTest::mouseClick(c().btnReadPara, Qt::LeftButton);
    c().btnReadPara->setEnabled(false);
    QTest::mouseClick(c().btnReadPara, Qt::LeftButton);
    QCOMPARE(runs, (QStringList{"chkI2SLRSwap", "chkI2SLRSwap", "rbnI2Slen1", "btnReadPara"}));
  }

  void aThrowingClickHandlerLeavesTheWindowWorking() {
    int runs = 0;
    form().OnClick(c().btnUpdateStatus, [&](QObject *) {
      ++runs;
      throw std::runtime_error("device gone");
    });
    c().MainPageControl->setCurrentWidget(c().Information);
    QTest::mouseClick(c().btnUpdateStatus, Qt::LeftButton);
    QTest::mouseClick(c().btnUpdateStatus, Qt::LeftButton);
    QCOMPARE(runs, 2);
    QCOMPARE(started->dialogs.exceptions, (QStringList{"device gone", "device gone"}));
  }
};

QTEST_MAIN(HandlerBindingTest)
#include "handler_binding_test.moc"
