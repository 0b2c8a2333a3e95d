// The operator's marks on the rows of both grids: check marks (data, counted and acted on by
// the tool bar and main menu) and the grids' selection (view state, acted on by the pop-up
// menus and the keys), and the keys of the two grids.
#include "app/Fmain.h"

#include "display/GridTables.h"
#include "framework/GridView.h"

#include <QAction>
#include <QKeyEvent>

namespace tarvo {

TF_Main::GridMarks TF_Main::marksOf(bool hostGrid)
{
    if (hostGrid)
        return {*hostTablePtr, *hostGridStatePtr, kHostKeyField, kHostCheckField, checkedHostCount};
    return {*pbuTablePtr, *pbuGridStatePtr, kPbuKeyField, kPbuCheckField, checkedPbuCount};
}

void TF_Main::onCheckToggled(bool hostGrid, bool checked)
{
    int &counter = hostGrid ? checkedHostCount : checkedPbuCount;
    counter += checked ? 1 : -1;
    refreshCommandStates(1);
}

void TF_Main::toggleCurrentCheck(bool hostGrid)
{
    GridMarks m = marksOf(hostGrid);
    if (m.table.isEmpty())
        return;
    const bool checked = m.table.asBool(m.checkField);
    m.table.edit();
    m.table.setValue(m.checkField, std::string(checked ? kFalseText : kTrueText));
    m.table.post();
    m.counter += checked ? -1 : 1;
    refreshCommandStates(1);
}

void TF_Main::markSelectedRows(bool hostGrid, bool check)
{
    GridMarks m = marksOf(hostGrid);
    {
        const GridState::Bookmark mark = m.grid.remember(m.keyField);
        SuspendGuard guard(m.table);
        for (RecId id : m.grid.selectedRecIds()) {
            if (!m.table.locateRecId(id) || m.table.asBool(m.checkField) == check)
                continue;
            m.table.edit();
            m.table.setValue(m.checkField, std::string(check ? kTrueText : kFalseText));
            m.table.post();
            m.counter += check ? 1 : -1;
        }
        m.grid.restore(mark, m.keyField);
    }
    refreshCommandStates(1);
}

void TF_Main::checkAll(bool hostGrid)
{
    GridMarks m = marksOf(hostGrid);
    {
        const GridState::Bookmark mark = m.grid.remember(m.keyField);
        SuspendGuard guard(m.table);
        m.grid.selectAll();
        checkSelectedRows(hostGrid);
        m.grid.clearSelection();
        m.grid.restore(mark, m.keyField);
    }
    refreshCommandStates(1);
}

void TF_Main::uncheckAll(bool hostGrid)
{
    GridMarks m = marksOf(hostGrid);
    if (m.table.isEmpty())
        return;
    {
        const GridState::Bookmark mark = m.grid.remember(m.keyField);
        SuspendGuard guard(m.table);
        for (int i = 0; i < m.table.count(); ++i) {
            if (m.table.valueAt(i, m.checkField) != kFalseText)
                m.table.setValueById(m.table.recIdAt(i), m.checkField, std::string(kFalseText));
        }
        m.counter = 0;
        m.grid.restore(mark, m.keyField);
    }
    refreshCommandStates(1);
}

void TF_Main::pbuPopupOpening()
{
    enable(PMnPSltHl, true);
    enable(PMnPCnlHl, true);
}

bool TF_Main::gridKeyPressed(bool hostGrid, int key)
{
    // The key alone decides: Shift, Ctrl and Alt are not looked at.
    switch (key) {
    case Qt::Key_Space:
        guarded([this, hostGrid] { toggleCurrentCheck(hostGrid); });
        return true;
    case Qt::Key_L:
        guarded([this, hostGrid] { checkSelectedRows(hostGrid); });
        return true;
    case Qt::Key_Z:
        guarded([this, hostGrid] { uncheckSelectedRows(hostGrid); });
        return true;
    case Qt::Key_C:
        if (!hostGrid)
            return false;
        guarded([this] { links->connectSelectedHosts(); });
        return true;
    case Qt::Key_O:
        if (!hostGrid)
            return false;
        guarded([this] { links->disconnectSelectedHosts(); });
        return true;
    case Qt::Key_F5:
        if (!hostGrid)
            return false;
        guarded([this] {
            hostPopupOpening();  // the item follows the selection as it is now
            if (PMnHostDetail->isEnabled())
                PMnHostDetail->trigger();
            else if (MMnHOSTDetail->isEnabled())
                MMnHOSTDetail->trigger();
        });
        return true;
    default:
        return false;
    }
}

} // namespace tarvo
