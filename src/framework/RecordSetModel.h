// Qt table model over a RecordSet: one model row per record, the columns of a column list.
// It mirrors the record set's rows by RecId, so a suspend bracket becomes a few signals.
#pragma once

#include "framework/GridColumn.h"
#include "framework/RecordSet.h"

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>

#include <functional>
#include <vector>

namespace tarvo {

class RecordSetModel : public QAbstractTableModel, private RecordSetListener {
    Q_OBJECT
public:
    enum Role {
        RawTextRole = Qt::UserRole + 1,  // the cell's GBK bytes (QByteArray)
        RecIdRole,                       // the row's RecId (qint64)
    };
    // Called after the operator toggled a check box: the row, the field, the new state.
    using CheckToggled = std::function<void(RecId, const std::string& field, bool checked)>;

    RecordSetModel(RecordSet& set, std::vector<ColumnDef> columns, QObject* parent = nullptr);
    ~RecordSetModel() override;

    RecordSet& recordSet() const { return set_; }
    const std::vector<ColumnDef>& columns() const { return columns_; }
    int columnOf(std::string_view field) const { return columnIndexOf(columns_, field); }

    RecId recIdAt(int row) const;
    // The GBK text of a cell without going through a QVariant, or nullptr for no such cell.
    const std::string* textAt(int row, int column) const;
    // Model row of a record, or -1.
    int rowOf(RecId id) const;

    void setCheckToggled(CheckToggled handler) { checkToggled_ = std::move(handler); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Only the check state of a check-box column can be set: writes "True"/"False".
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

signals:
    // The record set's cursor moved (reported at resume when it moved inside a bracket).
    void currentRecordChanged();

private:
    void rowsInserted(int first, int last) override;
    void rowsRemoved(int first, int last) override;
    void rowsChanged(int first, int last, const std::vector<int>& fields) override;
    void reset() override;
    void currentChanged() override;
    void rebuildRows();
    const std::string* cell(const QModelIndex& index) const;

    RecordSet& set_;
    std::vector<ColumnDef> columns_;
    std::vector<int> fieldOfColumn_;
    std::vector<RecId> rows_;  // what the views have been told
    CheckToggled checkToggled_;
};

// Sorts by one field, bytewise ascending (ties by RecId), and keeps the order when rows
// change.
class RecordSortProxy : public QSortFilterProxyModel {
    Q_OBJECT
public:
    RecordSortProxy(RecordSetModel* source, std::string_view sortField, QObject* parent = nullptr);

protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
    RecordSetModel* source_;
    int sortField_;
};

} // namespace tarvo
