#include "app/StringGrid.h"
#include "support/SimWindow.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QTest>

#include <memory>

using namespace orvane;
using namespace orvane::testing;

using Lines = std::vector<std::string>;

// The two register grids as a user meets them: which cell is current,
// and typing in a cell.
class GridCellsTest : public QObject {
  Q_OBJECT

  std::unique_ptr<SimWindow> w;
  Ui::TForm1 &c() { return w->c(); }

  void ClickCell(QTableWidget &grid, int col, int row) {
    const QRect cell = grid.visualItemRect(grid.item(row, col));
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, cell.center());
  }
  QTableWidget &GridOf(const QString &page) { return page == "register" ? *c().RegStringGrid1 : *c().StringGridMIIC; }
  void Open(const QString &page) {
    w->Open(page == "register" ? c().TabSheet1 : c().PageMI2CCtrl);
    if (page == "i2c") {
      c().edtMI2CAddr->setText("A0"); // the EEPROM
      QTest::keyClick(c().edtMI2CAddr, Qt::Key_Return);
    }
    w->transport.ClearTransfers();
  }
  QLineEdit *Editor() { return qobject_cast<QLineEdit *>(QApplication::focusWidget()); }

private slots:
  void init() { w = std::make_unique<SimWindow>(); }
  void cleanup() { w.reset(); }

  void headerCellsNeverBecomeCurrent_data() {
    QTest::addColumn<QString>("page");
    QTest::newRow("register") << "register";
    QTest::newRow("i2c") << "i2c";
  }
  void headerCellsNeverBecomeCurrent() {
    QFETCH(QString, page);
    Open(page);
    QTableWidget &grid = GridOf(page);
    QCOMPARE(grid.currentColumn(), 1); // both grids start on register 0x00
    QCOMPARE(grid.currentRow(), 1);

    grid.setFocus();
    QTest::keyClick(&grid, Qt::Key_Left);
    QTest::keyClick(&grid, Qt::Key_Up);
    QCOMPARE(grid.currentColumn(), 1);
    QCOMPARE(grid.currentRow(), 1);

    ClickCell(grid, 4, 3); // register 0x23
    ClickCell(grid, 0, 5); // a row header
    QCOMPARE(grid.currentColumn(), 4);
    QCOMPARE(grid.currentRow(), 3);
    ClickCell(grid, 7, 0); // a column header
    QCOMPARE(grid.currentColumn(), 4);
    QCOMPARE(grid.currentRow(), 3);

    // Insert still acts on the current register.
    SetCell(grid, 4, 3, "41");
    w->transport.ClearTransfers();
    grid.setFocus();
    QTest::keyClick(&grid, Qt::Key_Insert);
    if (page == "register") {
      QCOMPARE(w->Traffic().front().substr(0, 5), std::string("W 23="));
      QCOMPARE(c().lblRegAddr->text(), QString("Reg 0x23"));
    } else {
      QCOMPARE(w->chip.Eeprom().Bytes()[0x23], uint8_t{0x42});
      QCOMPARE(c().lblMI2CRegAddr->text(), QString("Reg 0x23"));
    }
  }

  void theCellEditorKeepsItsCursor_data() {
    QTest::addColumn<QString>("page");
    QTest::newRow("register") << "register";
    QTest::newRow("i2c") << "i2c";
  }
  void theCellEditorKeepsItsCursor() {
    QFETCH(QString, page);
    Open(page);
    QTableWidget &grid = GridOf(page);
    ClickCell(grid, 2, 2); // register 0x11
    grid.setFocus();
    QTest::keyClick(&grid, Qt::Key_F2);
    QLineEdit *editor = Editor();
    QVERIFY(editor);
    editor->clear();
    QTest::keyClicks(editor, "ab");
    QTest::keyClick(editor, Qt::Key_Home);
    QTest::keyClicks(editor, "12");
    QCOMPARE(editor->text(), QString("12ab"));
    QCOMPARE(editor->cursorPosition(), 2);
    w->transport.ClearTransfers();
    QTest::keyClick(editor, Qt::Key_Return);
    if (page == "register")
      QCOMPARE(w->Traffic().front(), std::string("W 11=AB"));
    else
      QCOMPARE(w->chip.Eeprom().Bytes()[0x11], uint8_t{0xAB});
    QCOMPARE(Cell(grid, 2, 2), QString("AB"));
  }

  void escapeGivesTheValueBack() {
    Open("register");
    QTableWidget &grid = *c().RegStringGrid1;
    ClickCell(grid, 2, 2);
    const QString value = Cell(grid, 2, 2);
    grid.setFocus();
    QTest::keyClick(&grid, Qt::Key_F2);
    QVERIFY(Editor());
    QTest::keyClicks(Editor(), "7c");
    w->transport.ClearTransfers();
    QTest::keyClick(Editor(), Qt::Key_Escape);
    QCoreApplication::processEvents();
    QCOMPARE(Cell(grid, 2, 2), value);
    QVERIFY(w->transport.Transfers().empty());
  }
};

QTEST_MAIN(GridCellsTest)
#include "grid_cells_test.moc"
