// What the headless console appends to a file or the journal after its first whole tables:
// the rows whose state changed since the last print, and now and then a summary line.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tarvo {

class RecordSet;

// The fields whose change is news: a connection, a program, a PBU. Usages, order counters
// and the PBU counts move with them or at every poll, and are left to the metrics (a PBU
// that stops is its own line, the host's counts would only repeat it).
inline const std::vector<std::string_view> kHostChangeFields = {
    "ChannelIP", "Connection", "OESStatusA", "OESStatusB", "EnvNo"};
inline const std::vector<std::string_view> kPbuChangeFields = {"PbuIden", "OESStatus", "Status"};
// How often an append-mode console with nothing new writes its summary line.
inline constexpr long long kSummaryEveryMs = 3600 * 1000;

class TableChanges
{
public:
    // The first field is the row's key; the others are compared.
    explicit TableChanges(const std::vector<std::string_view> &fields);
    ~TableChanges();
    TableChanges(const TableChanges &) = delete;
    TableChanges &operator=(const TableChanges &) = delete;

    // Follows `table`'s change events from now on: while its rows stay where they are, a
    // call compares only the rows whose compared fields were set since the last call, not
    // every row. The answers stay the same. `table` must outlive this.
    void follow(RecordSet &table);

    // The rows (positions, in table order) that are new or whose fields differ from the
    // previous call; rows that are gone are forgotten.
    std::vector<int> changedRows(const RecordSet &table);

private:
    class Follower;
    // The rows the followed table reported changed, compared in place; nothing when a row
    // stands elsewhere or holds another key now (the caller compares every row then).
    std::optional<std::vector<int>> comparedTouched(const RecordSet &table,
                                                    const std::vector<int> &fields);
    // The fields of the last call, row by row (key first): when every row's key stands where
    // it stood and no key repeats, the rows are compared in place, without a look-up.
    bool sameRows(const RecordSet &table, const std::vector<int> &fields) const;
    std::vector<int> comparedInPlace(const RecordSet &table, const std::vector<int> &fields);
    // Takes the row's compared fields into the kept ones; true when one of them differed.
    bool keepRow(const RecordSet &table, const std::vector<int> &fields, int row);
    std::vector<int> comparedByKey(const RecordSet &table, const std::vector<int> &fields);

    std::vector<std::string> names;
    std::unordered_map<std::string, std::pair<std::string, unsigned>> known;  // key -> fields, pass
    bool knownCurrent = true;  // false while only `seen` follows the calls
    std::vector<std::string> seen;  // fields.size() per row, in table order
    bool keysUnique = false;
    unsigned pass = 0;
    std::unique_ptr<Follower> follower;
};

// "已连接 2/3 运行PBU 40 停止PBU 1" for the summary line (GBK).
std::string summaryLine(const RecordSet &hosts, const RecordSet &pbus);

} // namespace tarvo
