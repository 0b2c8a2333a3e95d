// In-memory table of named text fields behind the grids: a cursor, edit/append/post/delete,
// indexed key fields and change notification that is batched inside a suspend bracket.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tarvo {

// Record number, unique within one set and never reused. Rows are kept in ascending RecId
// order, which is also the order in which they were appended.
using RecId = std::int64_t;
inline constexpr RecId kNoRecId = 0;

enum class FieldKind { Text, Boolean };

struct FieldDef {
    std::string name;
    int size = 20;           // maximum length in bytes; metadata only, values are not cut
    FieldKind kind = FieldKind::Text;
    bool indexed = false;    // locate on this field uses a hash index (duplicates allowed)
};

// Texts a boolean field holds. An empty value reads as false.
inline constexpr std::string_view kTrueText = "True";
inline constexpr std::string_view kFalseText = "False";

// Follows the rows of a record set. Outside a suspend bracket every change is reported at
// once; inside it the changes are collected and reported at the outermost resume, in this
// order: removals (highest positions first), one insertion of all rows appended meanwhile,
// one change covering the changed rows, then the cursor. Each position is valid in the
// listener's picture of the set after it has applied the events before it, so a listener
// that mirrors the row list stays exact. A reset replaces everything else of the batch.
class RecordSetListener {
public:
    virtual ~RecordSetListener() = default;
    // Rows [first, last] were appended; they are at these positions in the set now.
    virtual void rowsInserted(int first, int last) = 0;
    // Rows [first, last] of the listener's picture no longer exist.
    virtual void rowsRemoved(int first, int last) = 0;
    // Some rows in [first, last] have new values in the given field indexes (ascending).
    virtual void rowsChanged(int first, int last, const std::vector<int>& fields) = 0;
    // Everything may have changed (the set was cleared).
    virtual void reset() = 0;
    // The cursor moved to another row (or to none).
    virtual void currentChanged() {}
};

class RecordSet {
public:
    enum class State { Browse, Edit, Insert };

    explicit RecordSet(std::vector<FieldDef> fields);
    RecordSet(const RecordSet&) = delete;
    RecordSet& operator=(const RecordSet&) = delete;

    // --- fields
    const std::vector<FieldDef>& fields() const { return fields_; }
    int fieldCount() const { return static_cast<int>(fields_.size()); }
    // Index of a field, or -1 when the set has no such field.
    int fieldIndex(std::string_view name) const;
    // As fieldIndex, but throws std::out_of_range "Field '<name>' not found".
    int requireField(std::string_view name) const;
    int fieldSize(std::string_view name) const { return fields_[requireField(name)].size; }

    // --- rows and cursor
    int count() const { return static_cast<int>(rows_.size()); }
    bool isEmpty() const { return rows_.empty(); }
    // Row under the cursor; kNoRecId when the set is empty.
    RecId currentRecId() const;
    int currentPosition() const { return cursor_; }
    // Moves to the first row; false when the set is empty (eof is then true).
    bool first();
    // Moves to the following row; at the last row it stays there and eof becomes true.
    void next();
    // True when the set is empty or next() was called on the last row, or the last row
    // was deleted. first(), locate and post clear it.
    bool eof() const { return eof_; }
    // Makes the first row (lowest RecId) whose field equals value exactly current.
    // Returns false and leaves the cursor where it was when there is none.
    bool locate(std::string_view field, std::string_view value);
    bool locateRecId(RecId id);
    // As locate on an indexed field, trying the row at position `hint` first: when it holds
    // the value while no value of the field stands in two rows, it is the row locate finds,
    // made current without an index look-up. For walks that meet the rows in their order.
    bool locateNear(int field, std::string_view value, int hint);
    // True when some value of an indexed field stands in more than one row.
    bool hasDuplicates(int field) const { return duplicates_[field] > 0; }
    bool contains(RecId id) const { return positionOf(id) >= 0; }

    // --- the current row (the edit buffer while editing or appending)
    // Value of a field of the current row; "" when there is no current row.
    const std::string& value(std::string_view field) const;
    // The same by field index (fieldIndex), for loops that look many fields up.
    const std::string& value(int field) const;
    // True when the field holds "True".
    bool asBool(std::string_view field) const { return value(field) == kTrueText; }

    // --- changing rows. Moving the cursor while editing or appending posts first.
    State state() const { return state_; }
    // Starts editing the current row; throws std::logic_error when the set is empty.
    void edit();
    // Starts a new, empty row; it joins the set (with a new RecId, at the end) at post().
    void append();
    // Sets a field in the edit buffer; throws std::logic_error outside edit/append.
    void setValue(std::string_view field, std::string value);
    void setValue(int field, std::string value);
    void setBool(std::string_view field, bool on);
    // Stores the edit buffer. An appended row becomes the current row. Does nothing in Browse.
    void post();
    void cancel();
    // Deletes the current row (an unposted append is just dropped). The cursor moves to the
    // row that followed, or to the new last row (eof true) when the last row was deleted.
    void deleteCurrent();
    // Deletes every row whose field equals value, in one pass however many there are (a
    // pending edit is posted first, as locate does). `leaving` sees each row at its position
    // before it goes. The cursor ends where deleting the rows one by one, lowest first,
    // would leave it, and stays put when no row matches. Returns the number deleted.
    int deleteWhere(std::string_view field, std::string_view value,
                    const std::function<void(int position)>& leaving = {});
    // Removes every row; RecIds keep counting.
    void clear();

    // --- direct access by position or RecId, for views and walks that must not move the cursor
    RecId recIdAt(int position) const { return rows_[position].id; }
    // Position of a row, or -1.
    int positionOf(RecId id) const;
    const std::string& valueAt(int position, int field) const { return rows_[position].values[field]; }
    const std::string& valueAt(int position, std::string_view field) const;
    // Edit-and-post of one field of any row without moving the cursor; false when the row
    // does not exist. A pending edit of the current row is posted first.
    bool setValueById(RecId id, std::string_view field, std::string value);
    // Positions of the rows whose field equals value, ascending (uses the index if any).
    std::vector<int> findAll(std::string_view field, std::string_view value) const;

    // --- notification
    // Nestable bracket; changes inside it reach the listeners at the outermost resume.
    void suspend();
    // Ends the innermost bracket opened by suspend(); without one it does nothing (the
    // brackets of SuspendGuards are ended by their guards alone).
    void resume();
    // Ends the brackets that no SuspendGuard holds (a suspend() whose resume() never came),
    // so the grids redraw again. A guard's bracket stays open: one that spans a modal dialog
    // survives the timer ticks and socket events that run while the dialog is shown.
    void resumeUnheld();
    bool suspended() const { return suspendDepth_ > 0; }
    void addListener(RecordSetListener* listener);
    void removeListener(RecordSetListener* listener);

private:
    struct Row {
        RecId id;
        std::vector<std::string> values;
    };
    struct Hash {
        using is_transparent = void;
        size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    using Index = std::unordered_map<std::string, std::vector<RecId>, Hash, std::equal_to<>>;

    void moveCursor(int position, bool eof);
    void indexInsert(int field, const std::string& value, RecId id);
    void indexErase(int field, const std::string& value, RecId id);
    // Applies the edits (field, new text) to a row; reports the fields that changed.
    void storeEdit(int position, std::vector<std::pair<int, std::string>>& edits);
    void notifyInserted(int position);
    void notifyRemoved(RecId id, int position);
    void notifyChanged(RecId id, int position, const std::vector<int>& fields);
    void notifyCurrent();
    void deliverBatch();

    std::vector<FieldDef> fields_;
    std::unordered_map<std::string, int, Hash, std::equal_to<>> fieldByName_;
    std::vector<Index> indexes_;  // one per field; used only for indexed fields
    std::vector<int> duplicates_; // per indexed field: values that stand in two rows or more
    std::vector<Row> rows_;       // ascending RecId
    RecId nextId_ = 1;
    int cursor_ = -1;
    bool eof_ = true;
    State state_ = State::Browse;
    std::vector<std::string> buffer_;                 // the row being appended
    std::vector<std::pair<int, std::string>> edits_;  // the fields set on the row being edited
    std::vector<int> changedScratch_;

    friend class SuspendGuard;
    std::vector<RecordSetListener*> listeners_;
    int suspendDepth_ = 0;
    int heldDepth_ = 0;                               // the brackets of live SuspendGuards
    RecId batchFirstNewId_ = 1;                       // rows at or above this were appended in the batch
    std::vector<RecId> batchRemoved_;                 // rows older than the batch that were deleted
    std::unordered_map<RecId, std::vector<bool>> batchChanged_;
    bool batchReset_ = false;
    bool batchCurrent_ = false;
    RecId batchStartCurrent_ = kNoRecId;
};

// Suspends a record set for the lifetime of the guard, so every exit path resumes it. The
// destructor never throws: a listener's failure at the resume is swallowed there.
class SuspendGuard {
public:
    explicit SuspendGuard(RecordSet& set) : set_(set)
    {
        set_.suspend();
        ++set_.heldDepth_;
    }
    ~SuspendGuard();
    SuspendGuard(const SuspendGuard&) = delete;
    SuspendGuard& operator=(const SuspendGuard&) = delete;

private:
    RecordSet& set_;
};

} // namespace tarvo
