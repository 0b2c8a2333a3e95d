// In-memory record set: its rows, the cursor and editing (key indexes in RecordSetIndex.cpp,
// change batches in RecordSetChanges.cpp).
#include "framework/RecordSet.h"

#include <algorithm>
#include <stdexcept>

namespace tarvo {

namespace {
const std::string kEmpty;
}

RecordSet::RecordSet(std::vector<FieldDef> fields) : fields_(std::move(fields))
{
    for (int i = 0; i < fieldCount(); ++i) {
        if (!fieldByName_.emplace(fields_[i].name, i).second)
            throw std::logic_error("Duplicate field '" + fields_[i].name + "'");
    }
    indexes_.resize(fields_.size());
    duplicates_.resize(fields_.size());
}

int RecordSet::fieldIndex(std::string_view name) const
{
    auto it = fieldByName_.find(name);
    return it == fieldByName_.end() ? -1 : it->second;
}

int RecordSet::requireField(std::string_view name) const
{
    int index = fieldIndex(name);
    if (index < 0)
        throw std::out_of_range("Field '" + std::string(name) + "' not found");
    return index;
}

RecId RecordSet::currentRecId() const
{
    return cursor_ >= 0 ? rows_[cursor_].id : kNoRecId;
}

int RecordSet::positionOf(RecId id) const
{
    if (rows_.empty() || id < rows_.front().id || id > rows_.back().id)
        return -1;
    // RecIds ascend without repeats, so a row stands at most (id - first) rows from the
    // front and at most (last - id) rows from the back: the search range is only as wide as
    // the number of rows deleted in between, mostly a single row even in a big table.
    const RecId n = static_cast<RecId>(rows_.size());
    const RecId high = std::min(n - 1, id - rows_.front().id);
    const RecId low = std::max<RecId>(0, n - 1 - (rows_.back().id - id));
    if (low > high)
        return -1;  // more rows around it than ids: it is not in the set
    auto begin = rows_.begin() + low;
    auto end = rows_.begin() + high + 1;
    auto it = std::lower_bound(begin, end, id,
                               [](const Row& row, RecId value) { return row.id < value; });
    if (it == end || it->id != id)
        return -1;
    return static_cast<int>(it - rows_.begin());
}

void RecordSet::moveCursor(int position, bool eof)
{
    RecId before = currentRecId();
    cursor_ = position;
    eof_ = eof;
    if (currentRecId() != before)
        notifyCurrent();
}

bool RecordSet::first()
{
    post();
    moveCursor(rows_.empty() ? -1 : 0, rows_.empty());
    return !rows_.empty();
}

void RecordSet::next()
{
    post();
    if (cursor_ + 1 < count())
        moveCursor(cursor_ + 1, false);
    else
        eof_ = true;
}

bool RecordSet::locateRecId(RecId id)
{
    post();
    int position = positionOf(id);
    if (position < 0)
        return false;
    moveCursor(position, false);
    return true;
}

const std::string& RecordSet::value(std::string_view field) const
{
    return value(requireField(field));
}

const std::string& RecordSet::value(int f) const
{
    if (state_ == State::Insert)
        return buffer_[f];
    if (state_ == State::Edit) {
        for (const auto& [field, text] : edits_) {
            if (field == f)
                return text;
        }
    }
    if (cursor_ < 0)
        return kEmpty;
    return rows_[cursor_].values[f];
}

const std::string& RecordSet::valueAt(int position, std::string_view field) const
{
    return rows_[position].values[requireField(field)];
}

void RecordSet::edit()
{
    if (state_ != State::Browse)
        return;
    if (cursor_ < 0)
        throw std::logic_error("Cannot edit: the record set is empty");
    // Only the fields that are set are kept; the row itself is not copied.
    edits_.clear();
    state_ = State::Edit;
}

void RecordSet::append()
{
    post();
    buffer_.assign(fields_.size(), std::string());
    state_ = State::Insert;
}

void RecordSet::setValue(std::string_view field, std::string value)
{
    setValue(requireField(field), std::move(value));
}

void RecordSet::setValue(int f, std::string value)
{
    if (f < 0 || f >= fieldCount())
        throw std::out_of_range("Field index " + std::to_string(f) + " not found");
    if (state_ == State::Browse)
        throw std::logic_error("Record set not in edit or insert mode");
    if (state_ == State::Insert) {
        buffer_[f] = std::move(value);
        return;
    }
    for (auto& [field, text] : edits_) {
        if (field == f) {
            text = std::move(value);
            return;
        }
    }
    edits_.emplace_back(f, std::move(value));
}

void RecordSet::setBool(std::string_view field, bool on)
{
    setValue(field, std::string(on ? kTrueText : kFalseText));
}

void RecordSet::storeEdit(int position, std::vector<std::pair<int, std::string>>& edits)
{
    Row& row = rows_[position];
    changedScratch_.clear();
    for (auto& [f, text] : edits) {
        if (row.values[f] == text)
            continue;
        if (fields_[f].indexed) {
            indexErase(f, row.values[f], row.id);
            indexInsert(f, text, row.id);
        }
        row.values[f] = std::move(text);
        changedScratch_.push_back(f);
    }
    edits.clear();
    if (changedScratch_.empty())
        return;
    std::sort(changedScratch_.begin(), changedScratch_.end());
    changedScratch_.erase(std::unique(changedScratch_.begin(), changedScratch_.end()),
                          changedScratch_.end());
    notifyChanged(row.id, position, changedScratch_);
}

void RecordSet::post()
{
    if (state_ == State::Browse)
        return;
    State was = state_;
    state_ = State::Browse;
    if (was == State::Edit) {
        storeEdit(cursor_, edits_);
        return;
    }
    std::vector<std::string> values = std::move(buffer_);
    buffer_.clear();
    Row row{nextId_++, std::move(values)};
    for (int f = 0; f < fieldCount(); ++f) {
        if (fields_[f].indexed)
            indexInsert(f, row.values[f], row.id);
    }
    rows_.push_back(std::move(row));
    int position = count() - 1;
    notifyInserted(position);
    moveCursor(position, false);
}

void RecordSet::cancel()
{
    state_ = State::Browse;
    buffer_.clear();
    edits_.clear();
}

void RecordSet::deleteCurrent()
{
    if (state_ == State::Insert) {
        cancel();
        return;
    }
    cancel();
    if (cursor_ < 0)
        return;
    int position = cursor_;
    Row row = std::move(rows_[position]);
    for (int f = 0; f < fieldCount(); ++f) {
        if (fields_[f].indexed)
            indexErase(f, row.values[f], row.id);
    }
    rows_.erase(rows_.begin() + position);
    // The cursor is valid again before anyone hears of the removal.
    if (rows_.empty()) {
        cursor_ = -1;
        eof_ = true;
    } else if (position >= count()) {
        cursor_ = count() - 1;
        eof_ = true;
    } else {
        eof_ = false;
    }
    notifyRemoved(row.id, position);
    notifyCurrent();  // the cursor stands on another row (or none) now
}

int RecordSet::deleteWhere(std::string_view field, std::string_view value,
                           const std::function<void(int position)>& leaving)
{
    post();
    const std::vector<int> doomed = findAll(field, value);
    if (doomed.empty())
        return 0;
    if (leaving) {
        for (int position : doomed)
            leaving(position);
    }
    // One pass moves every row that stays once.
    std::vector<RecId> removed;
    removed.reserve(doomed.size());
    size_t next = 0;
    int kept = doomed.front();
    for (int position = doomed.front(); position < count(); ++position) {
        Row& row = rows_[position];
        if (next < doomed.size() && doomed[next] == position) {
            ++next;
            for (int i = 0; i < fieldCount(); ++i) {
                if (fields_[i].indexed)
                    indexErase(i, row.values[i], row.id);
            }
            removed.push_back(row.id);
            continue;
        }
        if (kept != position)
            rows_[kept] = std::move(row);
        ++kept;
    }
    rows_.resize(kept);
    // Deleting one by one leaves the cursor on the row that followed the last one deleted,
    // or on the last row (eof) when nothing followed it.
    const int follower = doomed.back() - static_cast<int>(doomed.size()) + 1;
    if (rows_.empty()) {
        cursor_ = -1;
        eof_ = true;
    } else if (follower >= count()) {
        cursor_ = count() - 1;
        eof_ = true;
    } else {
        cursor_ = follower;
        eof_ = false;
    }
    // Each position as a listener that applies them in turn sees it.
    for (size_t i = 0; i < removed.size(); ++i)
        notifyRemoved(removed[i], doomed[i] - static_cast<int>(i));
    notifyCurrent();  // the cursor stands on another row (or none) now
    return static_cast<int>(removed.size());
}

void RecordSet::clear()
{
    cancel();
    rows_.clear();
    for (auto& index : indexes_)
        index.clear();
    std::fill(duplicates_.begin(), duplicates_.end(), 0);
    cursor_ = -1;
    eof_ = true;
    if (suspended()) {
        batchReset_ = true;
        batchRemoved_.clear();
        batchChanged_.clear();
        batchCurrent_ = true;
        return;
    }
    for (auto* listener : std::vector(listeners_))
        listener->reset();
    notifyCurrent();
}

bool RecordSet::setValueById(RecId id, std::string_view field, std::string value)
{
    int f = requireField(field);
    post();
    int position = positionOf(id);
    if (position < 0)
        return false;
    std::vector<std::pair<int, std::string>> edit;
    edit.emplace_back(f, std::move(value));
    storeEdit(position, edit);
    return true;
}

} // namespace tarvo
