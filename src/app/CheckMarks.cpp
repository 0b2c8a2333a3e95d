// Setting and clearing the check marks of one grid's rows; every walk keeps the operator's
// row and first visible row and redraws once.
#include "app/CheckMarks.h"

#include "display/GridTables.h"

#include <string>

namespace tarvo {

CheckMarks::CheckMarks(RecordSet &table, GridState &grid, std::string_view keyField,
                       std::string_view checkField, int &counter, std::function<void()> refresh)
    : table(table), grid(grid), keyField(keyField), checkField(checkField), counter(counter),
      refresh(std::move(refresh))
{
}

void CheckMarks::checkToggled(bool checked)
{
    counter += checked ? 1 : -1;
    refresh();
}

void CheckMarks::toggleCurrentCheck()
{
    if (table.isEmpty())
        return;
    const bool checked = table.asBool(checkField);
    table.edit();
    table.setValue(checkField, std::string(checked ? kFalseText : kTrueText));
    table.post();
    counter += checked ? -1 : 1;
    refresh();
}

void CheckMarks::markSelectedRows(bool check)
{
    {
        const GridState::Bookmark mark = grid.remember(keyField);
        SuspendGuard guard(table);
        for (RecId id : grid.selectedRecIds()) {
            if (!table.locateRecId(id) || table.asBool(checkField) == check)
                continue;
            table.edit();
            table.setValue(checkField, std::string(check ? kTrueText : kFalseText));
            table.post();
            counter += check ? 1 : -1;
        }
        grid.restore(mark, keyField);
    }
    refresh();
}

void CheckMarks::checkAll()
{
    {
        const GridState::Bookmark mark = grid.remember(keyField);
        SuspendGuard guard(table);
        grid.selectAll();
        checkSelectedRows();
        grid.clearSelection();
        grid.restore(mark, keyField);
    }
    refresh();
}

void CheckMarks::uncheckAll()
{
    if (table.isEmpty())
        return;
    {
        const GridState::Bookmark mark = grid.remember(keyField);
        SuspendGuard guard(table);
        for (int i = 0; i < table.count(); ++i) {
            if (table.valueAt(i, checkField) != kFalseText)
                table.setValueById(table.recIdAt(i), checkField, std::string(kFalseText));
        }
        counter = 0;
        grid.restore(mark, keyField);
    }
    refresh();
}

} // namespace tarvo
