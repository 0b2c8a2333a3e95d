// Data-aware grid: a QTableView over a record set, sorted by one field, with the columns'
// captions, widths, check boxes and discs, multi-row selection, bound both ways to a GridState.
#pragma once

#include "framework/CellDelegate.h"
#include "framework/GridState.h"
#include "framework/RecordSetModel.h"

#include <QTableView>

namespace tarvo {

class GridView : public QTableView, private GridStateListener {
    Q_OBJECT
public:
    GridView(GridState& state, std::vector<ColumnDef> columns, std::string_view sortField,
             QWidget* parent = nullptr);
    ~GridView() override;

    GridState& gridState() const { return state_; }
    RecordSet& recordSet() const { return state_.recordSet(); }
    RecordSetModel* recordModel() const { return model_; }
    RecordSortProxy* sortModel() const { return proxy_; }
    CellDelegate* cellDelegate() const { return delegate_; }

    void setCellPainter(CellPainter painter);
    void setCheckToggled(RecordSetModel::CheckToggled handler);

    // Row in the grid's sorted order of a record, or -1; and the other way round.
    int viewRowOf(RecId id) const;
    RecId recIdAtViewRow(int row) const;
    // Repaints every visible cell (the flash clock uses it).
    void repaintAll();

private:
    void selectionChanged() override;
    void firstVisibleRowChanged() override;
    void followCurrentRecord();
    void viewCurrentChanged(const QModelIndex& current);
    void viewSelectionChanged();
    void applyColumns();

    GridState& state_;
    std::vector<ColumnDef> columns_;
    RecordSetModel* model_;
    RecordSortProxy* proxy_;
    CellDelegate* delegate_;
    bool syncing_ = false;
};

} // namespace tarvo
