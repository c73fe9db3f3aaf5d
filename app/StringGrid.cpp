#include "app/StringGrid.h"

#include <QApplication>
#include <QLineEdit>
#include <QTableWidget>

namespace orvane {

void PrepareStringGrid(QTableWidget &grid) {
  const QColor buttonFace = grid.palette().color(QPalette::Button);
  for (int row = 0; row < grid.rowCount(); ++row) {
    for (int col = 0; col < grid.columnCount(); ++col) {
      auto *item = new QTableWidgetItem;
      if (row == 0 || col == 0) {
        item->setFlags(Qt::ItemIsEnabled);
        item->setBackground(buttonFace);
        item->setTextAlignment(Qt::AlignCenter);
      }
      grid.setItem(row, col, item);
    }
  }
  // A header cell never becomes current, by click or by arrow key: the
  // keys and the bit boxes act on the current cell's register.
  QObject::connect(&grid, &QTableWidget::currentCellChanged, &grid,
                   [&grid](int row, int col, int prevRow, int prevCol) {
                     if (row >= 1 && col >= 1)
                       return;
                     const bool back = prevRow >= 1 && prevCol >= 1;
                     grid.setCurrentCell(back ? prevRow : 1, back ? prevCol : 1);
                   });
  grid.setCurrentCell(1, 1);
}

QString Cell(const QTableWidget &grid, int col, int row) {
  const QTableWidgetItem *item = grid.item(row, col);
  return item ? item->text() : QString();
}

void SetCell(QTableWidget &grid, int col, int row, const QString &text) {
  if (row < 0 || row >= grid.rowCount() || col < 0 || col >= grid.columnCount())
    return;
  if (QTableWidgetItem *item = grid.item(row, col))
    item->setText(text);
  else
    grid.setItem(row, col, new QTableWidgetItem(text));
}

void ShowCellValue(QTableWidget &grid, int col, int row, const QString &text) {
  SetCell(grid, col, row, text);
  auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
  if (editor && editor->parent() == grid.viewport() && grid.currentColumn() == col && grid.currentRow() == row)
    editor->setText(text);
}

void FillRegisterHeaders(QTableWidget &grid) {
  for (int i = 0; i < 16; ++i) {
    SetCell(grid, i + 1, 0, QStringLiteral("%1").arg(i, 2, 16, QLatin1Char('0')).toUpper());
    SetCell(grid, 0, i + 1, QStringLiteral("%1").arg(16 * i, 2, 16, QLatin1Char('0')).toUpper());
  }
}

} // namespace orvane
