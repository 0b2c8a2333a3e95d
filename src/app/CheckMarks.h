// The operator's marks on the rows of one grid: check marks (data, counted and acted on by
// the tool bar and main menu) set from the grid's selection (view state, acted on by the
// pop-up menus and the keys).
#pragma once

#include "framework/GridState.h"
#include "framework/RecordSet.h"

#include <functional>
#include <string_view>

namespace tarvo {

class CheckMarks
{
public:
    // `counter` is the window's count of checked rows of `table`; `refresh` refreshes the
    // enabled state of the commands after every change.
    CheckMarks(RecordSet &table, GridState &grid, std::string_view keyField,
               std::string_view checkField, int &counter, std::function<void()> refresh);

    // The current row's mark flips (double click, space key).
    void toggleCurrentCheck();
    // Every selected row, in selection order, is marked (unmarked).
    void checkSelectedRows() { markSelectedRows(true); }
    void uncheckSelectedRows() { markSelectedRows(false); }
    // Every row is marked through the selection, which is left empty.
    void checkAll();
    // Every row is unmarked and the counter becomes 0; an empty table is left alone.
    void uncheckAll();
    // A click in the check-box column has set the mark of a row.
    void checkToggled(bool checked);

private:
    void markSelectedRows(bool check);

    RecordSet &table;
    GridState &grid;
    std::string_view keyField;
    std::string_view checkField;
    int &counter;
    std::function<void()> refresh;
};

} // namespace tarvo
