#pragma once

#include <QString>

class QTableWidget;

namespace orvane {

// A QTableWidget used as a string grid: row 0 and column 0 are the fixed
// header cells; cells are addressed column first, like the handlers' ACol
// and ARow.

// Gives every cell an item; the header cells cannot be selected, edited
// or made current and have the button-face background. The current cell
// starts at (1, 1).
void PrepareStringGrid(QTableWidget &grid);
QString Cell(const QTableWidget &grid, int col, int row);
void SetCell(QTableWidget &grid, int col, int row, const QString &text);
// SetCell for a value the program shows: a cell editor open on the cell
// shows it too, as it would put its own text back when it closes.
void ShowCellValue(QTableWidget &grid, int col, int row, const QString &text);
// Column headers "00".."0F" in row 0, row headers "00".."F0" in column 0;
// the corner cell stays empty.
void FillRegisterHeaders(QTableWidget &grid);

} // namespace orvane
