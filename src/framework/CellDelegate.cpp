// Delegate that applies the paint hook's colours and font, then draws the cell as usual.
#include "framework/CellDelegate.h"

#include "framework/QtText.h"
#include "framework/RecordSetModel.h"

#include <QAbstractProxyModel>
#include <QApplication>
#include <QAbstractItemView>
#include <QHelpEvent>
#include <QIcon>
#include <QPainter>
#include <QToolTip>

namespace tarvo {

namespace {
QColor toQColor(const Rgb& rgb)
{
    return QColor(rgb.r, rgb.g, rgb.b);
}

QFont cellFont(QFont font, bool bold)
{
    if (bold)
        font.setBold(true);
    return font;
}

// A plain text cell: its background, then its text in one line, cut with "…" when it is
// wider than the cell leaves it.
void drawPlainCell(QPainter* painter, const QRect& rect, const QColor& background,
                   const QColor& foreground, const QFont& font, const QString& text, int margin)
{
    painter->fillRect(rect, background);
    const QRect area = rect.adjusted(margin, 0, -margin, 0);
    const QFontMetrics metrics(font);
    const QString shown = metrics.horizontalAdvance(text) > area.width()
                              ? metrics.elidedText(text, Qt::ElideRight, area.width())
                              : text;
    const QPen pen = painter->pen();
    const QFont before = painter->font();
    painter->setFont(font);
    painter->setPen(foreground);
    painter->drawText(area, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
    painter->setPen(pen);
    painter->setFont(before);
}
} // namespace

CellDelegate::CellDelegate(const std::vector<ColumnDef>& columns, QObject* parent)
    : QStyledItemDelegate(parent), columns_(columns)
{
}

void CellDelegate::setSource(const RecordSetModel* records, const QAbstractProxyModel* proxy)
{
    records_ = records;
    proxy_ = proxy;
}

CellDelegate::CellData CellDelegate::cellData(const QModelIndex& index) const
{
    if (records_) {
        const QModelIndex source =
            proxy_ && index.model() == proxy_ ? proxy_->mapToSource(index) : index;
        if (source.model() == records_) {
            if (const std::string* text = records_->textAt(source.row(), source.column()))
                return {records_->recIdAt(source.row()), *text, {}};
        }
    }
    CellData cell;
    cell.held = index.data(RecordSetModel::RawTextRole).toByteArray();
    cell.recId = index.data(RecordSetModel::RecIdRole).value<qint64>();
    cell.text = std::string_view(cell.held.constData(), static_cast<size_t>(cell.held.size()));
    return cell;
}

CellStyle CellDelegate::styleFor(const QModelIndex& index, bool selected) const
{
    // The index may belong to a proxy; the column layout is the same.
    const int column = index.column();
    if (column < 0 || column >= static_cast<int>(columns_.size()))
        return {};
    const CellData cell = cellData(index);
    return styleFor(cell.recId, index.row(), column, cell.text, selected);
}

CellStyle CellDelegate::styleFor(RecId recId, int row, int column, std::string_view text,
                                 bool selected) const
{
    if (!painter_ || column < 0 || column >= static_cast<int>(columns_.size()))
        return {};
    CellPaintRequest request;
    request.recId = recId;
    request.row = row;
    request.column = visiblePositionOf(columns_, column);
    request.field = columns_[column].field;
    request.selected = selected;
    request.text = text;
    return painter_(request);
}

bool CellDelegate::paintPlainText(QPainter* painter, const QStyleOptionViewItem& option,
                                  const QModelIndex& index) const
{
    // Both grids are repainted twice a second while values flash. An unselected text cell
    // without focus is a background, a colour and a line of text: drawing it here costs a
    // fraction of what the style's item drawing does. Everything else goes to the style.
    const int column = index.column();
    if (column < 0 || column >= static_cast<int>(columns_.size())
        || columns_[column].kind != ColumnKind::Text)
        return false;
    if (option.state & (QStyle::State_Selected | QStyle::State_HasFocus))
        return false;
    const CellData cell = cellData(index);
    const CellStyle style = styleFor(cell.recId, index.row(), column, cell.text, false);
    const QPalette::ColorGroup group =
        (option.state & QStyle::State_Enabled) ? QPalette::Normal : QPalette::Disabled;
    const QColor background = style.background ? toQColor(*style.background)
                                               : option.palette.color(group, QPalette::Base);
    if (cell.text.empty()) {
        painter->fillRect(option.rect, background);
        return true;
    }
    const QWidget* widget = option.widget;
    const QStyle* qstyle = widget ? widget->style() : QApplication::style();
    const int margin = qstyle->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    const QColor foreground =
        style.font ? toQColor(*style.font) : option.palette.color(group, QPalette::Text);
    // The kept image stands for the cell only where it lands on whole device pixels.
    const QTransform& transform = painter->deviceTransform();
    if (transform.type() > QTransform::TxTranslate || transform.dx() != qRound(transform.dx())
        || transform.dy() != qRound(transform.dy())) {
        drawPlainCell(painter, option.rect, background, foreground, cellFont(option.font, style.bold),
                      qtText(cell.text), margin);
        return true;
    }
    if (!(drawnFont_ == option.font)) {
        drawnCells_.clear();
        drawnFont_ = option.font;
    }
    const CellKey key{std::string(cell.text), option.rect.size(), background.rgba(),
                      foreground.rgba(), style.bold,
                      painter->device() ? painter->device()->devicePixelRatioF() : 1.0};
    painter->drawImage(option.rect.topLeft(), drawnCell(key, option.font, margin));
    return true;
}

const QImage& CellDelegate::drawnCell(const CellKey& key, const QFont& font, int margin) const
{
    // Counters change at every poll: the cells kept are forgotten when they pass a few
    // screens' worth.
    constexpr qsizetype kMostCells = 2048;
    auto found = drawnCells_.find(key);
    if (found != drawnCells_.end())
        return *found;
    if (drawnCells_.size() >= kMostCells)
        drawnCells_.clear();
    // An opaque background makes an opaque image, which is copied onto the grid instead of
    // blended pixel by pixel.
    const QImage::Format format = qAlpha(key.background) == 255 ? QImage::Format_RGB32
                                                               : QImage::Format_ARGB32_Premultiplied;
    QImage image((QSizeF(key.size) * key.pixelRatio).toSize(), format);
    image.setDevicePixelRatio(key.pixelRatio);
    {
        QPainter painter(&image);
        drawPlainCell(&painter, QRect(QPoint(0, 0), key.size), QColor::fromRgba(key.background),
                      QColor::fromRgba(key.foreground), cellFont(font, key.bold), qtText(key.text),
                      margin);
    }
    return *drawnCells_.insert(key, std::move(image));
}

bool CellDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                             const QStyleOptionViewItem& option, const QModelIndex& index)
{
    if (!event || event->type() != QEvent::ToolTip)
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    // A text cut by its column's width shows whole as a tool tip; a text that fits needs none.
    const QString text = index.data(Qt::DisplayRole).toString();
    const QWidget* widget = option.widget;
    const QStyle* qstyle = widget ? widget->style() : QApplication::style();
    const int margin = qstyle->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    QFont font = option.font;
    font.setBold(styleFor(index, false).bold);
    if (text.isEmpty()
        || QFontMetrics(font).horizontalAdvance(text) <= option.rect.width() - 2 * margin) {
        QToolTip::hideText();
        return true;
    }
    QToolTip::showText(event->globalPos(), text, view, option.rect);
    return true;
}

QRect CellDelegate::checkBoxRect(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    if (!(opt.features & QStyleOptionViewItem::HasCheckIndicator))
        return {};
    const QWidget* widget = option.widget;
    const QStyle* qstyle = widget ? widget->style() : QApplication::style();
    return qstyle->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &opt, widget);
}

void CellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                         const QModelIndex& index) const
{
    if (paintPlainText(painter, option, index))
        return;
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
        // A warning disc keeps its colour on a selected row: the style would tint it with the
        // selection colour, turning the yellow disc into a green one.
        const QPixmap disc = index.data(Qt::DecorationRole).value<QPixmap>();
        if (!disc.isNull()) {
            QIcon icon;
            icon.addPixmap(disc, QIcon::Normal);
            icon.addPixmap(disc, QIcon::Selected);
            opt.icon = icon;
        }
    }
    const QWidget* widget = opt.widget;
    QStyle* qstyle = widget ? widget->style() : QApplication::style();
    qstyle->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
}

} // namespace tarvo
