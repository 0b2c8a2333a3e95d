// Delegate that applies the paint hook's colours and font, then draws the cell as usual.
#include "framework/CellDelegate.h"

#include "framework/RecordSetModel.h"

#include <QApplication>
#include <QPainter>

namespace tarvo {

namespace {
QColor toQColor(const Rgb& rgb)
{
    return QColor(rgb.r, rgb.g, rgb.b);
}
} // namespace

CellDelegate::CellDelegate(const std::vector<ColumnDef>& columns, QObject* parent)
    : QStyledItemDelegate(parent), columns_(columns)
{
}

CellStyle CellDelegate::styleFor(const QModelIndex& index, bool selected) const
{
    // The index may belong to a proxy; the column layout is the same.
    int column = index.column();
    if (column < 0 || column >= static_cast<int>(columns_.size()))
        return {};
    QByteArray raw = index.data(RecordSetModel::RawTextRole).toByteArray();
    CellPaintRequest request;
    request.recId = index.data(RecordSetModel::RecIdRole).value<qint64>();
    request.row = index.row();
    request.column = visiblePositionOf(columns_, column);
    request.field = columns_[column].field;
    request.selected = selected;
    request.text = std::string_view(raw.constData(), static_cast<size_t>(raw.size()));
    return painter_ ? painter_(request) : CellStyle{};
}

void CellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                         const QModelIndex& index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    CellStyle style = styleFor(index, opt.state & QStyle::State_Selected);
    if (style.background)
        opt.backgroundBrush = QBrush(toQColor(*style.background));
    if (style.font) {
        opt.palette.setColor(QPalette::Text, toQColor(*style.font));
        opt.palette.setColor(QPalette::HighlightedText, toQColor(*style.font));
    }
    if (style.bold)
        opt.font.setBold(true);
    int column = index.column();
    if (column >= 0 && column < static_cast<int>(columns_.size())
        && columns_[column].kind == ColumnKind::Image) {
        opt.decorationAlignment = Qt::AlignCenter;
        opt.decorationSize = QSize(16, 16);
    }
    const QWidget* widget = opt.widget;
    QStyle* qstyle = widget ? widget->style() : QApplication::style();
    qstyle->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
}

} // namespace tarvo
