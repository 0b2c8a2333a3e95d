// View state of one grid that the console logic reads and restores: current row, first
// visible row and the multi-row selection, all by RecId. A view binds to it both ways.
#pragma once

#include "framework/RecordSet.h"

#include <string>
#include <vector>

namespace tarvo {

// Told when the logic changes the state, so a bound view can follow.
class GridStateListener {
public:
    virtual ~GridStateListener() = default;
    virtual void selectionChanged() {}
    virtual void firstVisibleRowChanged() {}
};

class GridState {
public:
    // The current row is the record set's cursor: a grid shows the set's current row.
    explicit GridState(RecordSet& set) : set_(set) {}
    GridState(const GridState&) = delete;
    GridState& operator=(const GridState&) = delete;

    RecordSet& recordSet() const { return set_; }

    RecId currentRecId() const { return set_.currentRecId(); }
    bool setCurrentRecId(RecId id) { return set_.locateRecId(id); }

    // Index (in the grid's sorted order) of the topmost visible row.
    int firstVisibleRow() const { return firstVisibleRow_; }
    void setFirstVisibleRow(int row);

    // Selected rows that still exist, in selection order.
    std::vector<RecId> selectedRecIds() const;
    int selectedCount() const { return static_cast<int>(selectedRecIds().size()); }
    bool isSelected(RecId id) const;
    void setSelection(std::vector<RecId> ids);
    // Selects every row of the set, in the set's order.
    void selectAll();
    void clearSelection();

    // Where the operator stands: the current row's key text and the first visible row.
    struct Bookmark {
        std::string key;
        bool hadRow = false;
        int firstVisibleRow = 0;
    };
    Bookmark remember(std::string_view keyField) const;
    // Makes the remembered row current again by its key and restores the first visible row.
    // When the row is gone and fallbackToFirst is set, the first row becomes current (if any).
    // Returns whether the remembered row was found.
    bool restore(const Bookmark& mark, std::string_view keyField, bool fallbackToFirst = false);

    // For the bound view: record what the operator did without echoing it back.
    void viewSetSelection(std::vector<RecId> ids) { selected_ = std::move(ids); }
    void viewSetFirstVisibleRow(int row) { firstVisibleRow_ = row; }

    void addListener(GridStateListener* listener);
    void removeListener(GridStateListener* listener);

private:
    RecordSet& set_;
    int firstVisibleRow_ = 0;
    std::vector<RecId> selected_;
    std::vector<GridStateListener*> listeners_;
};

} // namespace tarvo
