// Table model over a record set, and the proxy that keeps a grid sorted by one field.
#include "framework/RecordSetModel.h"

#include "framework/QtText.h"

#include <QPainter>
#include <QPixmap>

#include <algorithm>

namespace tarvo {

namespace {

// One shared image per disc colour, drawn once.
QPixmap discPixmap(const Rgb& colour)
{
    static std::vector<std::pair<Rgb, QPixmap>> cache;
    for (const auto& [rgb, pixmap] : cache) {
        if (rgb == colour)
            return pixmap;
    }
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(colour.r, colour.g, colour.b));
    painter.drawEllipse(QRectF(0.5, 0.5, 15, 15));
    painter.end();
    cache.emplace_back(colour, pixmap);
    return pixmap;
}

} // namespace

RecordSetModel::RecordSetModel(RecordSet& set, std::vector<ColumnDef> columns, QObject* parent)
    : QAbstractTableModel(parent), set_(set), columns_(std::move(columns))
{
    for (const auto& column : columns_)
        fieldOfColumn_.push_back(set_.requireField(column.field));
    rebuildRows();
    set_.addListener(this);
}

RecordSetModel::~RecordSetModel()
{
    set_.removeListener(this);
}

void RecordSetModel::rebuildRows()
{
    rows_.clear();
    rows_.reserve(set_.count());
    for (int i = 0; i < set_.count(); ++i)
        rows_.push_back(set_.recIdAt(i));
}

RecId RecordSetModel::recIdAt(int row) const
{
    if (row < 0 || row >= static_cast<int>(rows_.size()))
        return kNoRecId;
    return rows_[row];
}

int RecordSetModel::rowOf(RecId id) const
{
    // rows_ mirrors the set, which is ordered by RecId.
    auto it = std::lower_bound(rows_.begin(), rows_.end(), id);
    if (it == rows_.end() || *it != id)
        return -1;
    return static_cast<int>(it - rows_.begin());
}

int RecordSetModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int RecordSetModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

const std::string* RecordSetModel::cell(const QModelIndex& index) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return nullptr;
    return textAt(index.row(), index.column());
}

const std::string* RecordSetModel::textAt(int row, int column) const
{
    if (row < 0 || row >= static_cast<int>(rows_.size()) || column < 0
        || column >= static_cast<int>(columns_.size()))
        return nullptr;
    // Inside a suspend bracket the mirror may name a row that is already gone.
    int position = set_.positionOf(rows_[row]);
    if (position < 0)
        return nullptr;
    return &set_.valueAt(position, fieldOfColumn_[column]);
}

QVariant RecordSetModel::data(const QModelIndex& index, int role) const
{
    const std::string* text = cell(index);
    if (!text)
        return {};
    ColumnKind kind = columns_[index.column()].kind;
    switch (role) {
    case Qt::DisplayRole:
        if (kind != ColumnKind::Text)
            return {};
        return qtText(*text);
    case Qt::CheckStateRole:
        if (kind != ColumnKind::CheckBox)
            return {};
        return *text == kTrueText ? Qt::Checked : Qt::Unchecked;
    case Qt::DecorationRole: {
        if (kind != ColumnKind::Image)
            return {};
        auto colour = discColour(*text);
        if (!colour)
            return {};
        return discPixmap(*colour);
    }
    case RawTextRole:
        return QByteArray(text->data(), static_cast<qsizetype>(text->size()));
    case RecIdRole:
        return QVariant::fromValue<qint64>(rows_[index.row()]);
    default:
        return {};
    }
}

QVariant RecordSetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount())
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::DisplayRole)
        return qtText(columns_[section].caption);
    return {};
}

Qt::ItemFlags RecordSetModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (columns_[index.column()].kind == ColumnKind::CheckBox)
        flags |= Qt::ItemIsUserCheckable;
    return flags;
}

bool RecordSetModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::CheckStateRole || !cell(index))
        return false;
    const ColumnDef& column = columns_[index.column()];
    if (column.kind != ColumnKind::CheckBox)
        return false;
    bool checked = value.toInt() == Qt::Checked;
    RecId id = rows_[index.row()];
    if (!set_.setValueById(id, column.field, std::string(checked ? kTrueText : kFalseText)))
        return false;
    if (checkToggled_)
        checkToggled_(id, column.field, checked);
    return true;
}

void RecordSetModel::rowsInserted(int first, int last)
{
    beginInsertRows({}, first, last);
    rows_.reserve(rows_.size() + (last - first + 1));
    for (int i = first; i <= last; ++i)
        rows_.insert(rows_.begin() + i, set_.recIdAt(i));
    endInsertRows();
}

void RecordSetModel::rowsRemoved(int first, int last)
{
    beginRemoveRows({}, first, last);
    rows_.erase(rows_.begin() + first, rows_.begin() + last + 1);
    endRemoveRows();
}

void RecordSetModel::rowsChanged(int first, int last, const std::vector<int>& fields)
{
    int left = columnCount();
    int right = -1;
    for (int c = 0; c < columnCount(); ++c) {
        if (std::binary_search(fields.begin(), fields.end(), fieldOfColumn_[c])) {
            left = std::min(left, c);
            right = std::max(right, c);
        }
    }
    if (right < 0)
        return;
    emit dataChanged(index(first, left), index(last, right));
}

void RecordSetModel::reset()
{
    beginResetModel();
    rebuildRows();
    endResetModel();
}

void RecordSetModel::currentChanged()
{
    emit currentRecordChanged();
}

RecordSortProxy::RecordSortProxy(RecordSetModel* source, std::string_view sortField,
                                 QObject* parent)
    : QSortFilterProxyModel(parent), source_(source),
      sortField_(source->recordSet().requireField(sortField))
{
    setSourceModel(source);
    setDynamicSortFilter(true);
    int column = source->columnOf(sortField);
    sort(column >= 0 ? column : 0, Qt::AscendingOrder);
}

bool RecordSortProxy::lessThan(const QModelIndex& left, const QModelIndex& right) const
{
    const RecordSet& set = source_->recordSet();
    RecId a = source_->recIdAt(left.row());
    RecId b = source_->recIdAt(right.row());
    int pa = set.positionOf(a);
    int pb = set.positionOf(b);
    if (pa < 0 || pb < 0)
        return a < b;
    const std::string& ta = set.valueAt(pa, sortField_);
    const std::string& tb = set.valueAt(pb, sortField_);
    if (ta != tb)
        return ta < tb;
    return a < b;
}

} // namespace tarvo
