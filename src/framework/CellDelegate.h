// Item delegate that asks the grid's paint hook for colours and font before the usual drawing.
#pragma once

#include "framework/GridColumn.h"

#include <QFont>
#include <QHash>
#include <QImage>
#include <QStyledItemDelegate>

#include <string>
#include <string_view>

class QAbstractProxyModel;

namespace tarvo {

class RecordSetModel;

class CellDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    // columns: the grid's column list, to tell the hook the visible position and field.
    CellDelegate(const std::vector<ColumnDef>& columns, QObject* parent = nullptr);

    void setPainter(CellPainter painter) { painter_ = std::move(painter); }
    // The grid's own model and the sorting proxy over it: cells of their indexes are read
    // straight from the record set, without a QVariant per cell (the same values the item
    // roles give).
    void setSource(const RecordSetModel* records, const QAbstractProxyModel* proxy);
    // The request the hook is asked with for a cell (exposed for tests).
    CellStyle styleFor(const QModelIndex& index, bool selected) const;
    // The same for a cell already read: its record, view row, model column and GBK text.
    CellStyle styleFor(RecId recId, int row, int column, std::string_view text,
                       bool selected) const;
    // Where the check box of a cell lies when drawn in `option` (empty for a cell without one).
    QRect checkBoxRect(const QStyleOptionViewItem& option, const QModelIndex& index) const;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    // Tool tips: the whole text of a cell whose column is too narrow for it, nothing else.
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

private:
    // What an index shows: its record and GBK text (`held` keeps bytes read through a role).
    struct CellData {
        RecId recId = 0;
        std::string_view text;
        QByteArray held;
    };
    CellData cellData(const QModelIndex& index) const;
    // Draws an unselected, unfocused text cell without the style; false for any other cell.
    bool paintPlainText(QPainter* painter, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const;

    // A plain cell as drawn, kept by what it shows: both grids repaint the same cells twice a
    // second while values flash, and laying out and drawing their text anew was most of a
    // repaint's cost. The image is drawn as the cell itself would be, so copying it draws the
    // same pixels.
    struct CellKey {
        std::string text;  // GBK, as stored: equal bytes show equal text
        QSize size;
        QRgb background = 0;
        QRgb foreground = 0;
        bool bold = false;
        qreal pixelRatio = 1;
        friend bool operator==(const CellKey&, const CellKey&) = default;
    };
    friend size_t qHash(const CellKey& key, size_t seed) noexcept
    {
        return qHashMulti(seed, QByteArrayView(key.text.data(), qsizetype(key.text.size())),
                          key.size.width(), key.size.height(), key.background,
                          key.foreground, key.bold);
    }
    const QImage& drawnCell(const CellKey& key, const QFont& font, int margin) const;

    const std::vector<ColumnDef>& columns_;
    const RecordSetModel* records_ = nullptr;
    const QAbstractProxyModel* proxy_ = nullptr;
    CellPainter painter_ = defaultCellStyle;
    mutable QFont drawnFont_;  // the font of the cells kept
    mutable QHash<CellKey, QImage> drawnCells_;
};

} // namespace tarvo
