// View state of a grid: selection and first visible row, with bookmarks for the walks.
#include "framework/GridState.h"

#include <algorithm>

namespace tarvo {

void GridState::setFirstVisibleRow(int row)
{
    row = std::max(row, 0);
    if (row == firstVisibleRow_)
        return;
    firstVisibleRow_ = row;
    for (auto* listener : std::vector(listeners_))
        listener->firstVisibleRowChanged();
}

std::vector<RecId> GridState::selectedRecIds() const
{
    std::vector<RecId> ids;
    ids.reserve(selected_.size());
    for (RecId id : selected_) {
        if (set_.contains(id))
            ids.push_back(id);
    }
    return ids;
}

bool GridState::isSelected(RecId id) const
{
    return set_.contains(id) && std::find(selected_.begin(), selected_.end(), id) != selected_.end();
}

void GridState::setSelection(std::vector<RecId> ids)
{
    std::vector<RecId> unique;
    for (RecId id : ids) {
        if (set_.contains(id) && std::find(unique.begin(), unique.end(), id) == unique.end())
            unique.push_back(id);
    }
    selected_ = std::move(unique);
    for (auto* listener : std::vector(listeners_))
        listener->selectionChanged();
}

void GridState::selectAll()
{
    std::vector<RecId> ids;
    ids.reserve(set_.count());
    for (int i = 0; i < set_.count(); ++i)
        ids.push_back(set_.recIdAt(i));
    setSelection(std::move(ids));
}

void GridState::clearSelection()
{
    setSelection({});
}

GridState::Bookmark GridState::remember(std::string_view keyField) const
{
    Bookmark mark;
    mark.hadRow = set_.currentRecId() != kNoRecId;
    if (mark.hadRow)
        mark.key = set_.valueAt(set_.currentPosition(), keyField);
    mark.firstVisibleRow = firstVisibleRow_;
    return mark;
}

bool GridState::restore(const Bookmark& mark, std::string_view keyField, bool fallbackToFirst)
{
    bool found = mark.hadRow && set_.locate(keyField, mark.key);
    if (!found && fallbackToFirst && !set_.isEmpty())
        set_.first();
    setFirstVisibleRow(mark.firstVisibleRow);
    return found;
}

void GridState::addListener(GridStateListener* listener)
{
    if (std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end())
        listeners_.push_back(listener);
}

void GridState::removeListener(GridStateListener* listener)
{
    std::erase(listeners_, listener);
}

} // namespace tarvo
