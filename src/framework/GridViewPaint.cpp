// How a grid view paints: background where no cell covers it, the cells, the grid lines.
#include "framework/GridView.h"

#include <QHeaderView>
#include <QPainter>
#include <QPaintEvent>

#include <algorithm>

namespace tarvo {

void GridView::paintEvent(QPaintEvent* event)
{
    const QRegion region = event->region();
    if (viewport()->autoFillBackground()) {
        QPainter painter(viewport());
        const QBrush base = viewport()->palette().brush(viewport()->backgroundRole());
        for (const QRect& rect : region - opaqueCells(region.boundingRect()))
            painter.fillRect(rect, base);
    }
    QTableView::paintEvent(event);
    if (!showGrid() || !model() || model()->rowCount() == 0 || model()->columnCount() == 0)
        return;
    QPainter painter(viewport());
    drawGridLines(painter, region);
}

QRegion GridView::opaqueCells(const QRect& within) const
{
    // Only where this grid's delegate draws every cell, over an opaque base colour.
    QRegion cells;
    if (!model() || itemDelegate() != delegate_ || isRightToLeft())
        return cells;
    for (auto group : {QPalette::Normal, QPalette::Disabled}) {
        if (palette().color(group, QPalette::Base).alpha() != 255)
            return cells;
    }
    // The lines between cells are drawn over them afterwards: opaque ones may be counted.
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const QColor lines = QColor::fromRgba(
        static_cast<QRgb>(style()->styleHint(QStyle::SH_Table_GridLineColor, &option, this)));
    const int gap = showGrid() && lines.alpha() != 255 ? 1 : 0;
    // Runs of adjacent text columns, in viewport x.
    std::vector<std::pair<int, int>> spans;  // left, right
    for (int visual = 0; visual < horizontalHeader()->count(); ++visual) {
        const int column = horizontalHeader()->logicalIndex(visual);
        if (isColumnHidden(column) || column >= static_cast<int>(columns_.size())
            || columns_[column].kind != ColumnKind::Text || itemDelegateForColumn(column))
            continue;
        const int left = columnViewportPosition(column);
        const int right = left + columnWidth(column) - 1 - gap;
        if (right < within.left() || left > within.right())
            continue;
        if (!spans.empty() && gap == 0 && spans.back().second + 1 == left)
            spans.back().second = right;
        else
            spans.emplace_back(left, right);
    }
    if (spans.empty())
        return cells;
    // Blocks of unselected rows crossing the area.
    const int top = rowAt(within.top());
    if (top < 0)
        return cells;  // the area lies below the last row
    int bottom = rowAt(within.bottom());
    if (bottom < 0)
        bottom = model()->rowCount() - 1;
    const QItemSelectionModel* selection = selectionModel();
    int blockTop = -1;
    int blockBottom = -1;
    auto flush = [&] {
        if (blockTop < 0)
            return;
        for (const auto& [left, right] : spans)
            cells += QRect(QPoint(left, blockTop), QPoint(right, blockBottom));
        blockTop = -1;
    };
    for (int row = top; row <= bottom && row < model()->rowCount(); ++row) {
        if (isRowHidden(row))
            continue;
        if (selection && selection->rowIntersectsSelection(row, rootIndex())) {
            flush();
            continue;
        }
        const int y = rowViewportPosition(row);
        const int last = y + rowHeight(row) - 1 - gap;
        if (gap || blockTop < 0 || blockBottom + 1 != y) {
            flush();
            blockTop = y;
        }
        blockBottom = last;
    }
    flush();
    // The current cell may be drawn with its focus frame by the style.
    if (currentIndex().isValid())
        cells -= visualRect(currentIndex());
    return cells;
}

void GridView::drawGridLines(QPainter& painter, const QRegion& region) const
{
    // Each rectangle of the region gets the bottom line of every row and the right line of
    // every column that crosses it, over the rectangle's whole width or height.
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const QColor colour = QColor::fromRgba(
        static_cast<QRgb>(style()->styleHint(QStyle::SH_Table_GridLineColor, &option, this)));
    const QHeaderView* rows = verticalHeader();
    const QHeaderView* cols = horizontalHeader();
    const bool rightToLeft = isRightToLeft();
    const int lastX = cols->length() - cols->offset() - (rightToLeft ? 0 : 1);
    const int lastY = rows->length() - rows->offset() - 1;
    for (QRect area : region) {
        area.setBottom(std::min(area.bottom(), lastY));
        if (rightToLeft)
            area.setLeft(std::max(area.left(), viewport()->width() - lastX));
        else
            area.setRight(std::min(area.right(), lastX));
        if (!area.isValid())
            continue;
        int left = cols->visualIndexAt(area.left());
        int right = cols->visualIndexAt(area.right());
        if (rightToLeft)
            std::swap(left, right);
        if (left == -1)
            left = 0;
        if (right == -1)
            right = cols->count() - 1;
        int top = rows->visualIndexAt(area.top());
        int bottom = rows->visualIndexAt(area.bottom());
        if (bottom == -1)
            bottom = rows->count() - 1;
        if (top == -1 || top > bottom)
            continue;
        for (int visual = top; visual <= bottom; ++visual) {
            const int row = rows->logicalIndex(visual);
            if (rows->isSectionHidden(row))
                continue;
            const int y = rowViewportPosition(row) + rowHeight(row) - 1;
            painter.fillRect(QRect(area.left(), y, area.width(), 1), colour);
        }
        for (int visual = left; visual <= right; ++visual) {
            const int column = cols->logicalIndex(visual);
            if (cols->isSectionHidden(column))
                continue;
            int x = columnViewportPosition(column);
            if (!rightToLeft)
                x += columnWidth(column) - 1;
            painter.fillRect(QRect(x, area.top(), 1, area.height()), colour);
        }
    }
}

} // namespace tarvo
