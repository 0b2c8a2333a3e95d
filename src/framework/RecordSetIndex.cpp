// The record set's key indexes: locating rows by a field's value, kept up to date by edits.
#include "framework/RecordSet.h"

#include <algorithm>
#include <stdexcept>

namespace tarvo {

bool RecordSet::locate(std::string_view field, std::string_view value)
{
    int f = requireField(field);
    post();
    int position = -1;
    if (fields_[f].indexed) {
        auto it = indexes_[f].find(value);
        if (it != indexes_[f].end() && !it->second.empty())
            position = positionOf(it->second.front());
    } else {
        for (int i = 0; i < count(); ++i) {
            if (rows_[i].values[f] == value) {
                position = i;
                break;
            }
        }
    }
    if (position < 0)
        return false;
    moveCursor(position, false);
    return true;
}

bool RecordSet::locateNear(int field, std::string_view value, int hint)
{
    if (field < 0 || field >= fieldCount())
        throw std::out_of_range("Field #" + std::to_string(field) + " not found");
    if (!fields_[field].indexed || duplicates_[field] > 0 || hint < 0 || hint >= count()
        || rows_[hint].values[field] != value)
        return locate(fields_[field].name, value);
    post();
    // Posting an edit may have moved the value (or the row): look again after it.
    if (hint >= count() || rows_[hint].values[field] != value)
        return locate(fields_[field].name, value);
    moveCursor(hint, false);
    return true;
}

std::vector<int> RecordSet::findAll(std::string_view field, std::string_view value) const
{
    int f = requireField(field);
    std::vector<int> found;
    if (fields_[f].indexed) {
        auto it = indexes_[f].find(value);
        if (it != indexes_[f].end()) {
            for (RecId id : it->second)
                found.push_back(positionOf(id));
        }
        return found;
    }
    for (int i = 0; i < count(); ++i) {
        if (rows_[i].values[f] == value)
            found.push_back(i);
    }
    return found;
}

void RecordSet::indexInsert(int field, const std::string& value, RecId id)
{
    auto& ids = indexes_[field][value];
    ids.insert(std::upper_bound(ids.begin(), ids.end(), id), id);
    if (ids.size() == 2)
        ++duplicates_[field];
}

void RecordSet::indexErase(int field, const std::string& value, RecId id)
{
    auto it = indexes_[field].find(value);
    if (it == indexes_[field].end())
        return;
    auto& ids = it->second;
    auto pos = std::lower_bound(ids.begin(), ids.end(), id);
    if (pos != ids.end() && *pos == id) {
        ids.erase(pos);
        if (ids.size() == 1)
            --duplicates_[field];
    }
    if (ids.empty())
        indexes_[field].erase(it);
}

} // namespace tarvo
