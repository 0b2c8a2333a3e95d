// Grid view over a record set, kept in step with the set's cursor and with a GridState.
#include "framework/GridView.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QScrollBar>

#include <algorithm>
#include <tuple>
#include <utility>

namespace tarvo {

GridView::GridView(GridState& state, std::vector<ColumnDef> columns, std::string_view sortField,
                   QWidget* parent)
    : QTableView(parent), state_(state), columns_(std::move(columns)),
      model_(new RecordSetModel(state.recordSet(), columns_, this)),
      proxy_(new RecordSortProxy(model_, sortField, this)),
      delegate_(new CellDelegate(columns_, this))
{
    setModel(proxy_);
    delegate_->setSource(model_, proxy_);
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
    // The table strokes no lines of its own (it still leaves them their pixel), and the
    // viewport fills no background before a paint: see paintEvent.
    setGridStyle(Qt::NoPen);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
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
    std::vector<int> columns;
    for (int column : modelColumns) {
        if (column >= 0 && column < proxy_->columnCount() && !isColumnHidden(column))
            columns.push_back(column);
    }
    if (columns.empty())
        return cells;
    const QItemSelectionModel* selection = selectionModel();
    for (int row = top; row <= bottom; ++row) {
        // The record and its texts are read once per row, straight from the model.
        const int source = proxy_->mapToSource(proxy_->index(row, 0)).row();
        const RecId id = model_->recIdAt(source);
        for (int column : columns) {
            const std::string* text = model_->textAt(source, column);
            const bool selected = selection->isSelected(proxy_->index(row, column));
            const CellStyle style =
                text ? delegate_->styleFor(id, row, column, *text, selected)
                     : delegate_->styleFor(proxy_->index(row, column), selected);
            if (style.background)
                cells.push_back({id, column});
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
    if (!isVisible() || cells.empty())
        return;
    // The cells come as rectangles merged along rows and then down columns before they are
    // joined into one region: a flashing column of many rows is one rectangle, not one per
    // cell, both for the region's arithmetic and for the table walking it.
    const QRect port = viewport()->rect();
    std::vector<QRect> rects;
    rects.reserve(cells.size());
    RecId lastId = kNoRecId;
    int row = -1;
    int y = 0;
    int height = 0;
    for (const GridCell& cell : cells) {
        if (cell.recId != lastId || row < 0) {
            lastId = cell.recId;
            row = viewRowOf(cell.recId);
            if (row >= 0) {
                y = rowViewportPosition(row);
                height = rowHeight(row);
            }
        }
        if (row < 0 || cell.column < 0 || cell.column >= proxy_->columnCount()
            || isColumnHidden(cell.column))
            continue;
        const QRect rect = QRect(columnViewportPosition(cell.column), y, columnWidth(cell.column),
                                 height).intersected(port);
        if (!rect.isEmpty())
            rects.push_back(rect);
    }
    const auto byRow = [](const QRect& a, const QRect& b) {
        return std::pair(a.top(), a.left()) < std::pair(b.top(), b.left());
    };
    std::sort(rects.begin(), rects.end(), byRow);
    std::vector<QRect> runs;
    for (const QRect& rect : rects) {
        if (!runs.empty() && runs.back().top() == rect.top()
            && runs.back().height() == rect.height() && runs.back().right() + 1 == rect.left())
            runs.back().setRight(rect.right());
        else
            runs.push_back(rect);
    }
    const auto byColumn = [](const QRect& a, const QRect& b) {
        return std::tuple(a.left(), a.width(), a.top()) < std::tuple(b.left(), b.width(), b.top());
    };
    std::sort(runs.begin(), runs.end(), byColumn);
    QRegion region;
    QRect block;
    for (const QRect& run : runs) {
        if (block.isValid() && block.left() == run.left() && block.width() == run.width()
            && block.bottom() + 1 == run.top()) {
            block.setBottom(run.bottom());
            continue;
        }
        if (block.isValid())
            region += block;
        block = run;
    }
    if (block.isValid())
        region += block;
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
