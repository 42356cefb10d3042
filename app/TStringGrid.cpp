#include "TStringGrid.h"

#include <QApplication>
#include <QHeaderView>
#include <QPainter>
#include <QStyledItemDelegate>

namespace ostrel {
namespace {

// Draws fixed columns in the button-face colour and then hands each cell to
// the grid's draw hook.
class GridDelegate : public QStyledItemDelegate {
 public:
  explicit GridDelegate(TStringGrid* grid) : QStyledItemDelegate(grid), grid_(grid) {}

  void paint(QPainter* p, const QStyleOptionViewItem& opt, const QModelIndex& idx) const override {
    const int col = idx.column();
    const int row = idx.row() + grid_->FixedRows();
    if (col < grid_->FixedCols()) {
      p->fillRect(opt.rect, opt.palette.button());
      QStyleOptionViewItem o(opt);
      o.state &= ~QStyle::State_Selected;
      QStyledItemDelegate::paint(p, o, idx);
    } else {
      QStyledItemDelegate::paint(p, opt, idx);
    }
    if (grid_->drawCell()) {
      p->save();
      grid_->drawCell()(col, row, opt.rect, p, opt);
      p->restore();
    }
  }

 private:
  TStringGrid* grid_;
};

// The header of a fixed-row grid: row 0. After its own drawing each section
// is handed to the grid's draw hook as the cell (column, 0).
class GridHeader : public QHeaderView {
 public:
  explicit GridHeader(TStringGrid* grid) : QHeaderView(Qt::Horizontal, grid), grid_(grid) {
    setSectionsClickable(true);  // as the table view's own header: a click selects the column
  }

 protected:
  void paintSection(QPainter* p, const QRect& rect, int logicalIndex) const override {
    QHeaderView::paintSection(p, rect, logicalIndex);
    if (!grid_->drawCell() || !rect.isValid()) return;
    QStyleOptionViewItem opt;
    opt.initFrom(this);
    opt.rect = rect;
    p->save();
    grid_->drawCell()(logicalIndex, 0, rect, p, opt);
    p->restore();
  }

 private:
  TStringGrid* grid_;
};

}  // namespace

TStringGrid::TStringGrid(const QString& name, int colCount, int rowCount, int fixedRows, int fixedCols,
                         const std::vector<int>& colWidths, QWidget* parent)
    : QTableWidget(parent), fixedRows_(fixedRows > 0 ? 1 : 0), fixedCols_(fixedCols) {
  setObjectName(name);
  if (fixedRows_) setHorizontalHeader(new GridHeader(this));
  setColumnCount(colCount);
  setRowCount(rowCount);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionMode(QAbstractItemView::ContiguousSelection);
  setShowGrid(true);
  setWordWrap(false);
  verticalHeader()->hide();
  verticalHeader()->setMinimumSectionSize(18);
  verticalHeader()->setDefaultSectionSize(18);
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  horizontalHeader()->setMinimumSectionSize(8);
  horizontalHeader()->setHighlightSections(false);
  horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  if (fixedRows_) {
    horizontalHeader()->setFixedHeight(18);
    for (int c = 0; c < colCount; ++c) setHorizontalHeaderItem(c, new QTableWidgetItem(QString()));
  } else {
    horizontalHeader()->hide();
  }
  for (int c = 0; c < colCount && c < static_cast<int>(colWidths.size()); ++c) setColumnWidth(c, colWidths[c]);
  setItemDelegate(new GridDelegate(this));
}

void TStringGrid::setRowCount(int rows) {
  int min = fixedRows_ ? fixedRows_ + 1 : 1;
  if (rows < min) rows = min;
  QTableWidget::setRowCount(rows - fixedRows_);
}

void TStringGrid::setColCount(int cols) {
  if (cols < 1) cols = 1;
  int old = columnCount();
  setColumnCount(cols);
  if (fixedRows_)
    for (int c = old; c < cols; ++c) setHorizontalHeaderItem(c, new QTableWidgetItem(QString()));
}

QString TStringGrid::Cells(int col, int row) const {
  if (col < 0 || col >= columnCount() || row < 0 || row >= RowCount()) return {};
  if (row < fixedRows_) {
    auto* h = horizontalHeaderItem(col);
    return h ? h->text() : QString();
  }
  auto* it = item(row - fixedRows_, col);
  return it ? it->text() : QString();
}

void TStringGrid::setCells(int col, int row, const QString& text) {
  if (col < 0 || col >= columnCount() || row < 0 || row >= RowCount()) return;
  if (row < fixedRows_) {
    auto* h = horizontalHeaderItem(col);
    if (!h) setHorizontalHeaderItem(col, h = new QTableWidgetItem);
    h->setText(text);
    return;
  }
  auto* it = item(row - fixedRows_, col);
  if (!it) {
    it = new QTableWidgetItem;
    it->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    setItem(row - fixedRows_, col, it);
  }
  it->setText(text);
}

int TStringGrid::Row() const {
  int r = currentRow();
  return r < 0 ? -1 : r + fixedRows_;
}

int TStringGrid::ColumnsWidth() const {
  int sum = 0;
  for (int c = 0; c < columnCount(); ++c) sum += columnWidth(c);
  return sum;
}

}  // namespace ostrel
