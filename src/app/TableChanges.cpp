// Finding the rows whose state changed.
#include "app/TableChanges.h"

#include "framework/RecordSet.h"

namespace tarvo {

TableChanges::TableChanges(const std::vector<std::string_view> &fields)
{
    for (std::string_view field : fields)
        names.emplace_back(field);
}

std::vector<int> TableChanges::changedRows(const RecordSet &table)
{
    std::vector<int> fields;
    for (const std::string &name : names)
        fields.push_back(table.requireField(name));
    ++pass;
    std::vector<int> changed;
    std::string signature;
    for (int row = 0; row < table.count(); ++row) {
        signature.clear();
        for (size_t i = 1; i < fields.size(); ++i) {
            signature += table.valueAt(row, fields[i]);
            signature += '\x01';
        }
        auto [it, inserted] = known.try_emplace(table.valueAt(row, fields[0]));
        if (inserted || it->second.first != signature) {
            it->second.first = signature;
            changed.push_back(row);
        }
        it->second.second = pass;
    }
    if (known.size() > size_t(table.count())) {
        for (auto it = known.begin(); it != known.end();)
            it = it->second.second == pass ? std::next(it) : known.erase(it);
    }
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
