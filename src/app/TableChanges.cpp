// Finding the rows whose state changed.
#include "app/TableChanges.h"

#include "framework/RecordSet.h"

#include <algorithm>

namespace tarvo {

// The rows of the followed table whose compared fields were set since the last call, and
// whether rows came, went or the table was reset (then every row is compared).
class TableChanges::Follower : public RecordSetListener
{
public:
    Follower(RecordSet &table, const std::vector<std::string> &names) : table(table)
    {
        for (const std::string &name : names)
            fields.push_back(table.requireField(name));
        std::sort(fields.begin(), fields.end());
        table.addListener(this);
    }
    ~Follower() override { table.removeListener(this); }

    void rowsInserted(int, int) override { moved = true; }
    void rowsRemoved(int, int) override { moved = true; }
    void reset() override { moved = true; }
    void rowsChanged(int first, int last, const std::vector<int> &changed) override
    {
        if (moved)
            return;
        for (int field : fields) {
            if (std::binary_search(changed.begin(), changed.end(), field)) {
                for (int row = first; row <= last; ++row)
                    touched.push_back(row);
                return;
            }
        }
    }
    void restart()
    {
        moved = false;
        touched.clear();
    }

    RecordSet &table;
    std::vector<int> fields;
    bool moved = true;  // until the first call has seen every row
    std::vector<int> touched;
};

TableChanges::TableChanges(const std::vector<std::string_view> &fields)
{
    for (std::string_view field : fields)
        names.emplace_back(field);
}

TableChanges::~TableChanges() = default;

void TableChanges::follow(RecordSet &table) { follower = std::make_unique<Follower>(table, names); }

namespace {

void appendSignature(std::string &signature, const std::string *values, size_t count)
{
    signature.clear();
    for (size_t i = 0; i < count; ++i) {
        signature += values[i];
        signature += '\x01';
    }
}

} // namespace

std::vector<int> TableChanges::changedRows(const RecordSet &table)
{
    std::vector<int> fields;
    for (const std::string &name : names)
        fields.push_back(table.requireField(name));
    ++pass;
    std::optional<std::vector<int>> changed;
    // A table in a suspend bracket has not told its changes yet.
    if (follower && &follower->table == &table && !follower->moved && !table.suspended() &&
        keysUnique && seen.size() == size_t(table.count()) * fields.size())
        changed = comparedTouched(table, fields);
    if (!changed)
        changed = keysUnique && sameRows(table, fields) ? comparedInPlace(table, fields)
                                                        : comparedByKey(table, fields);
    if (follower)
        follower->restart();
    return std::move(*changed);
}

std::optional<std::vector<int>> TableChanges::comparedTouched(const RecordSet &table,
                                                              const std::vector<int> &fields)
{
    std::vector<int> &rows = follower->touched;
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    const size_t width = fields.size();
    for (int row : rows) {
        if (row < 0 || row >= table.count() ||
            table.valueAt(row, fields[0]) != seen[size_t(row) * width])
            return std::nullopt;
    }
    // Every key stands where it stood: as comparedInPlace, for these rows alone.
    std::vector<int> changed;
    for (int row : rows) {
        if (keepRow(table, fields, row))
            changed.push_back(row);
    }
    knownCurrent = false;
    return changed;
}

bool TableChanges::keepRow(const RecordSet &table, const std::vector<int> &fields, int row)
{
    std::string *values = &seen[size_t(row) * fields.size()];
    bool differs = false;
    for (size_t i = 1; i < fields.size(); ++i) {
        const std::string &now = table.valueAt(row, fields[i]);
        if (values[i] != now) {
            values[i] = now;
            differs = true;
        }
    }
    return differs;
}

bool TableChanges::sameRows(const RecordSet &table, const std::vector<int> &fields) const
{
    const size_t width = fields.size();
    if (seen.size() != size_t(table.count()) * width)
        return false;
    for (int row = 0; row < table.count(); ++row) {
        if (table.valueAt(row, fields[0]) != seen[size_t(row) * width])
            return false;
    }
    return true;
}

std::vector<int> TableChanges::comparedInPlace(const RecordSet &table, const std::vector<int> &fields)
{
    // Each key stands once, where it stood: the map would hand back exactly these rows.
    std::vector<int> changed;
    for (int row = 0; row < table.count(); ++row) {
        if (keepRow(table, fields, row))
            changed.push_back(row);
    }
    knownCurrent = false;
    return changed;
}

std::vector<int> TableChanges::comparedByKey(const RecordSet &table, const std::vector<int> &fields)
{
    const size_t width = fields.size();
    if (!knownCurrent) {
        // The rows compared in place since the map was last used: their keys were unique, so
        // the map held exactly one entry for each.
        known.clear();
        std::string signature;
        for (size_t at = 0; at + width <= seen.size(); at += width) {
            appendSignature(signature, &seen[at + 1], width - 1);
            known.emplace(seen[at], std::make_pair(signature, pass - 1));
        }
        knownCurrent = true;
    }
    std::vector<int> changed;
    std::string signature;
    size_t distinct = 0;
    seen.resize(size_t(table.count()) * width);
    for (int row = 0; row < table.count(); ++row) {
        std::string *values = &seen[size_t(row) * width];
        for (size_t i = 0; i < width; ++i)
            values[i] = table.valueAt(row, fields[i]);
        appendSignature(signature, values + 1, width - 1);
        auto [it, inserted] = known.try_emplace(values[0]);
        if (inserted || it->second.first != signature) {
            it->second.first = signature;
            changed.push_back(row);
        }
        distinct += it->second.second != pass;
        it->second.second = pass;
    }
    if (known.size() > size_t(table.count())) {
        for (auto it = known.begin(); it != known.end();)
            it = it->second.second == pass ? std::next(it) : known.erase(it);
    }
    // Only a map that holds each row's key once and nothing else can be rebuilt from `seen`.
    keysUnique = distinct == size_t(table.count()) && known.size() == distinct;
    return changed;
}

std::string summaryLine(const RecordSet &hosts, const RecordSet &pbus)
{
    const int connection = hosts.requireField("Connection");
    const int status = pbus.requireField("Status");
    int connected = 0, running = 0, stopped = 0;
    for (int row = 0; row < hosts.count(); ++row)
        connected += hosts.valueAt(row, connection) == "已连接";
    for (int row = 0; row < pbus.count(); ++row) {
        running += pbus.valueAt(row, status) == "运行";
        stopped += pbus.valueAt(row, status) == "停止";
    }
    return "已连接 " + std::to_string(connected) + "/" + std::to_string(hosts.count()) +
           " 运行PBU " + std::to_string(running) + " 停止PBU " + std::to_string(stopped);
}

} // namespace tarvo
