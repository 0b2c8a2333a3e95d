// Data-aware grid: a QTableView over a record set, sorted by one field, with the columns'
// captions, widths, check boxes and discs, multi-row selection, bound both ways to a GridState.
#pragma once

#include "framework/CellDelegate.h"
#include "framework/GridState.h"
#include "framework/RecordSetModel.h"

#include <QTableView>

namespace tarvo {

// One cell of a grid, by record and model column.
struct GridCell {
    RecId recId = kNoRecId;
    int column = 0;
    friend bool operator==(const GridCell&, const GridCell&) = default;
    friend auto operator<=>(const GridCell&, const GridCell&) = default;
};

class GridView : public QTableView, private GridStateListener {
    Q_OBJECT
public:
    GridView(GridState& state, std::vector<ColumnDef> columns, std::string_view sortField,
             QWidget* parent = nullptr);
    ~GridView() override;

    RecordSet& recordSet() const { return state_.recordSet(); }
    RecordSetModel* recordModel() const { return model_; }
    RecordSortProxy* sortModel() const { return proxy_; }
    CellDelegate* cellDelegate() const { return delegate_; }
    const std::vector<ColumnDef>& columns() const { return columns_; }

    void setCellPainter(CellPainter painter);
    void setCheckToggled(RecordSetModel::CheckToggled handler);

    // Row in the grid's sorted order of a record, or -1; and the other way round.
    int viewRowOf(RecId id) const;
    RecId recIdAtViewRow(int row) const;
    // Repaints every visible cell.
    void repaintAll();
    // The visible cells of these model columns to which the paint hook gives a background,
    // asked as they would be drawn now (rows of the selection as selected).
    std::vector<GridCell> visibleCellsWithBackground(const std::vector<int>& modelColumns) const;
    // Repaints just these cells where they are visible now; rows that are gone are skipped.
    // A hidden grid does nothing.
    void repaintCells(const std::vector<GridCell>& cells);
    // The viewport rectangle of a cell, empty when it is not visible.
    QRect cellRect(const GridCell& cell) const;
    // Where a cell's check box is drawn in the viewport, empty when it has none or is hidden.
    QRect checkBoxRect(const GridCell& cell) const;

protected:
    // A click on a check box makes its row current first, as a click anywhere in a row does
    // (the check box takes the press before the view would move its current row); a double
    // click whose first click ticked a box ticks it once, and nothing else.
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    // The background goes only where no cell is drawn opaquely over it, the table paints
    // the cells, and the grid lines are drawn afterwards as filled one-pixel rectangles:
    // the pixels of the table's own painting at a fraction of its cost (the viewport filled
    // every repainted pixel twice, and a line is stroked pixel by pixel).
    void paintEvent(QPaintEvent* event) override;

private:
    void selectionChanged() override;
    void firstVisibleRowChanged() override;
    void followCurrentRecord();
    void viewCurrentChanged(const QModelIndex& current);
    void viewSelectionChanged();
    void applyColumns();
    // View rows [top, bottom] shown in the viewport; false when none is.
    bool visibleRows(int& top, int& bottom) const;
    void drawGridLines(QPainter& painter, const QRegion& region) const;
    // The visible cells the delegate draws opaquely: unselected text cells (and the lines
    // between them, drawn after them), the current cell left out.
    QRegion opaqueCells(const QRect& within) const;

    GridState& state_;
    std::vector<ColumnDef> columns_;
    RecordSetModel* model_;
    RecordSortProxy* proxy_;
    CellDelegate* delegate_;
    bool syncing_ = false;
    QPersistentModelIndex toggledAt_;  // the cell whose box the last release toggled
    bool swallowRelease_ = false;      // the release that ends a double click on a box
};

} // namespace tarvo
