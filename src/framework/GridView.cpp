// Grid view over a record set, kept in step with the set's cursor and with a GridState.
#include "framework/GridView.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QScrollBar>

#include <algorithm>

namespace tarvo {

GridView::GridView(GridState& state, std::vector<ColumnDef> columns, std::string_view sortField,
                   QWidget* parent)
    : QTableView(parent), state_(state), columns_(std::move(columns)),
      model_(new RecordSetModel(state.recordSet(), columns_, this)),
      proxy_(new RecordSortProxy(model_, sortField, this)),
      delegate_(new CellDelegate(columns_, this))
{
    setModel(proxy_);
    setItemDelegate(delegate_);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);  // check boxes still toggle
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setSortingEnabled(false);
    setWordWrap(false);
    horizontalHeader()->setSectionsMovable(false);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    verticalHeader()->hide();
    applyColumns();

    connect(model_, &RecordSetModel::currentRecordChanged, this, &GridView::followCurrentRecord);
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { viewCurrentChanged(current); });
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { viewSelectionChanged(); });
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
        if (!syncing_)
            state_.viewSetFirstVisibleRow(value);
    });
    state_.addListener(this);
    followCurrentRecord();
    selectionChanged();
}

GridView::~GridView()
{
    state_.removeListener(this);
}

void GridView::applyColumns()
{
    for (int c = 0; c < static_cast<int>(columns_.size()); ++c) {
        setColumnWidth(c, columns_[c].width);
        setColumnHidden(c, columns_[c].hidden);
    }
}

void GridView::setCellPainter(CellPainter painter)
{
    delegate_->setPainter(painter ? std::move(painter) : CellPainter(defaultCellStyle));
    viewport()->update();
}

void GridView::setCheckToggled(RecordSetModel::CheckToggled handler)
{
    model_->setCheckToggled(std::move(handler));
}

int GridView::viewRowOf(RecId id) const
{
    int source = model_->rowOf(id);
    if (source < 0)
        return -1;
    return proxy_->mapFromSource(model_->index(source, 0)).row();
}

RecId GridView::recIdAtViewRow(int row) const
{
    if (row < 0 || row >= proxy_->rowCount())
        return kNoRecId;
    return model_->recIdAt(proxy_->mapToSource(proxy_->index(row, 0)).row());
}

void GridView::repaintAll()
{
    viewport()->update();
}

bool GridView::visibleRows(int& top, int& bottom) const
{
    const QWidget* port = viewport();
    if (proxy_->rowCount() == 0 || port->width() <= 0 || port->height() <= 0)
        return false;
    top = rowAt(0);
    if (top < 0)
        return false;
    bottom = rowAt(port->height() - 1);
    if (bottom < 0)
        bottom = proxy_->rowCount() - 1;  // the rows end above the bottom edge
    return true;
}

std::vector<GridCell> GridView::visibleCellsWithBackground(
    const std::vector<int>& modelColumns) const
{
    std::vector<GridCell> cells;
    int top = 0;
    int bottom = -1;
    if (!visibleRows(top, bottom))
        return cells;
    for (int row = top; row <= bottom; ++row) {
        for (int column : modelColumns) {
            if (column < 0 || column >= proxy_->columnCount() || isColumnHidden(column))
                continue;
            const QModelIndex index = proxy_->index(row, column);
            const bool selected = selectionModel()->isSelected(index);
            if (delegate_->styleFor(index, selected).background)
                cells.push_back({recIdAtViewRow(row), column});
        }
    }
    return cells;
}

QRect GridView::cellRect(const GridCell& cell) const
{
    const int row = viewRowOf(cell.recId);
    if (row < 0 || cell.column < 0 || cell.column >= proxy_->columnCount()
        || isColumnHidden(cell.column))
        return {};
    const QRect rect(columnViewportPosition(cell.column), rowViewportPosition(row),
                     columnWidth(cell.column), rowHeight(row));
    return rect.intersected(viewport()->rect());
}

QRect GridView::checkBoxRect(const GridCell& cell) const
{
    const int row = viewRowOf(cell.recId);
    if (row < 0 || cellRect(cell).isEmpty())
        return {};
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const QModelIndex index = proxy_->index(row, cell.column);
    option.rect = visualRect(index);
    return delegate_->checkBoxRect(option, index);
}

void GridView::repaintCells(const std::vector<GridCell>& cells)
{
    if (!isVisible())
        return;
    QRegion region;
    for (const GridCell& cell : cells) {
        const QRect rect = cellRect(cell);
        if (!rect.isEmpty())
            region += rect;
    }
    if (!region.isEmpty())
        viewport()->update(region);
}

void GridView::mousePressEvent(QMouseEvent* event)
{
    swallowRelease_ = false;
    const QModelIndex index = indexAt(event->position().toPoint());
    // The second press of a double click (some platforms send one before the double click
    // itself) keeps the mark of the box its first click toggled.
    if (!toggledAt_.isValid() || QModelIndex(toggledAt_) != index)
        toggledAt_ = QPersistentModelIndex();
    QTableView::mousePressEvent(event);
    // The check box took the press: the row becomes current (and selected) here, so the
    // toggle at the release and the keys after it act on the row that was clicked.
    if (index.isValid() && event->button() == Qt::LeftButton && currentIndex().row() != index.row())
        selectionModel()->setCurrentIndex(index, selectionCommand(index, event));
}

void GridView::mouseReleaseEvent(QMouseEvent* event)
{
    if (swallowRelease_) {
        swallowRelease_ = false;
        return;  // the second click of a double click whose first click ticked the box
    }
    const QModelIndex index = indexAt(event->position().toPoint());
    const QVariant before = index.data(Qt::CheckStateRole);
    QTableView::mouseReleaseEvent(event);
    const bool toggled = index.isValid() && before.isValid()
                         && index.data(Qt::CheckStateRole) != before;
    toggledAt_ = toggled ? QPersistentModelIndex(index) : QPersistentModelIndex();
}

void GridView::mouseDoubleClickEvent(QMouseEvent* event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid() && toggledAt_.isValid() && QModelIndex(toggledAt_) == index) {
        toggledAt_ = QPersistentModelIndex();
        swallowRelease_ = true;
        return;
    }
    QTableView::mouseDoubleClickEvent(event);
}

void GridView::followCurrentRecord()
{
    int row = viewRowOf(recordSet().currentRecId());
    syncing_ = true;
    if (row < 0) {
        selectionModel()->setCurrentIndex({}, QItemSelectionModel::NoUpdate);
    } else {
        int column = currentIndex().isValid() ? currentIndex().column() : 0;
        while (column < static_cast<int>(columns_.size()) - 1 && isColumnHidden(column))
            ++column;
        selectionModel()->setCurrentIndex(proxy_->index(row, column), QItemSelectionModel::NoUpdate);
    }
    syncing_ = false;
}

void GridView::viewCurrentChanged(const QModelIndex& current)
{
    // While the logic walks the set inside a bracket, a click must not move its cursor.
    if (syncing_ || recordSet().suspended() || !current.isValid())
        return;
    RecId id = recIdAtViewRow(current.row());
    if (id == kNoRecId || id == recordSet().currentRecId())
        return;
    syncing_ = true;
    recordSet().locateRecId(id);
    syncing_ = false;
}

void GridView::viewSelectionChanged()
{
    if (syncing_)
        return;
    std::vector<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedRows())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    std::vector<RecId> ids;
    ids.reserve(rows.size());
    for (int row : rows)
        ids.push_back(recIdAtViewRow(row));
    state_.viewSetSelection(std::move(ids));
}

void GridView::selectionChanged()
{
    QItemSelection selection;
    int last = proxy_->columnCount() - 1;
    for (RecId id : state_.selectedRecIds()) {
        int row = viewRowOf(id);
        if (row >= 0)
            selection.select(proxy_->index(row, 0), proxy_->index(row, last));
    }
    syncing_ = true;
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    syncing_ = false;
}

void GridView::firstVisibleRowChanged()
{
    syncing_ = true;
    verticalScrollBar()->setValue(state_.firstVisibleRow());
    syncing_ = false;
}

} // namespace tarvo
