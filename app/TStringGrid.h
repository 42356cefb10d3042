#pragma once
// A string grid over QTableWidget with the addressing the handlers use:
// Cells(col, row), RowCount and ColCount, where row 0 is the header row and
// RowCount counts it. With one fixed row, row 0 is shown as the table's
// horizontal header so it stays visible when the rows scroll; without fixed
// rows, row 0 is an ordinary row. No cell can be edited by the user.
#include <QStyleOptionViewItem>
#include <QTableWidget>
#include <functional>
#include <vector>

class QPainter;

namespace ostrel {

class TStringGrid : public QTableWidget {
  Q_OBJECT
 public:
  // Called after the default drawing of each data cell (row >= FixedRows) and,
  // in a fixed-row grid, of each header section (row 0).
  using DrawCellFn =
      std::function<void(int col, int row, const QRect& rect, QPainter* painter, const QStyleOptionViewItem& state)>;

  TStringGrid(const QString& name, int colCount, int rowCount, int fixedRows, int fixedCols,
              const std::vector<int>& colWidths, QWidget* parent = nullptr);

  int RowCount() const { return rowCount() + fixedRows_; }
  void setRowCount(int rows);  // never below the fixed rows + 1 for a fixed-row grid
  int ColCount() const { return columnCount(); }
  // The widths of all columns added up, in pixels.
  int ColumnsWidth() const;
  void setColCount(int cols);
  int FixedRows() const { return fixedRows_; }
  int FixedCols() const { return fixedCols_; }
  int DefaultRowHeight() const { return 18; }

  QString Cells(int col, int row) const;
  void setCells(int col, int row, const QString& text);

  // Row of the current cell in grid numbering (header row = 0), -1 if none.
  int Row() const;

  void setDrawCell(DrawCellFn fn) { drawCell_ = std::move(fn); }
  const DrawCellFn& drawCell() const { return drawCell_; }

 private:
  int fixedRows_;
  int fixedCols_;
  DrawCellFn drawCell_;
};

}  // namespace ostrel
