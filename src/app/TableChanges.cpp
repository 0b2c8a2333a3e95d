// Finding the rows whose state changed.
#include "app/TableChanges.h"

#include "framework/RecordSet.h"

namespace tarvo {

TableChanges::TableChanges(const std::vector<std::string_view> &fields)
{
    for (std::string_view field : fields)
        names.emplace_back(field);
}

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
    std::vector<int> changed = keysUnique && sameRows(table, fields)
                                   ? comparedInPlace(table, fields)
                                   : comparedByKey(table, fields);
    return changed;
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
    const size_t width = fields.size();
    std::vector<int> changed;
    for (int row = 0; row < table.count(); ++row) {
        std::string *values = &seen[size_t(row) * width];
        bool differs = false;
        for (size_t i = 1; i < width; ++i) {
            const std::string &now = table.valueAt(row, fields[i]);
            if (values[i] != now) {
                values[i] = now;
                differs = true;
            }
        }
        if (differs)
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
