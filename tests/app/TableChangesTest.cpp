// The rows an append-mode console reports as changed: the same rows, pass for pass, as a
// plain look-up of every row's key finds, over random runs of edits, new, gone and repeated
// keys, edits inside a suspend bracket and of keys, whether the table's change events are
// followed or not (what it prints is made of these rows, so its output stays the same bytes).
#include "app/TableChanges.h"

#include "framework/RecordSet.h"

#include <gtest/gtest.h>

#include <random>
#include <unordered_map>

namespace tarvo {
namespace {

// Every row's key looked up at every pass: a row is news when its key is new or its fields
// differ from those the key had at the previous pass.
class LookUpEveryRow
{
public:
    std::vector<int> changedRows(const RecordSet &table)
    {
        ++pass;
        std::vector<int> changed;
        for (int row = 0; row < table.count(); ++row) {
            const std::string fields = table.valueAt(row, 1) + '\x01' + table.valueAt(row, 2);
            auto [it, inserted] = known.try_emplace(table.valueAt(row, 0));
            if (inserted || it->second.first != fields)
                changed.push_back(row);
            it->second = {fields, pass};
        }
        if (known.size() > size_t(table.count())) {
            for (auto it = known.begin(); it != known.end();)
                it = it->second.second == pass ? std::next(it) : known.erase(it);
        }
        return changed;
    }

private:
    std::unordered_map<std::string, std::pair<std::string, unsigned>> known;
    unsigned pass = 0;
};

void appendRow(RecordSet &table, const std::string &key, const std::string &status)
{
    table.append();
    table.setValue("Key", key);
    table.setValue("OESStatus", "运行");
    table.setValue("Status", status);
    table.post();
}

class TableChangesFollowing : public ::testing::TestWithParam<bool>
{
};

TEST_P(TableChangesFollowing, ReportsTheRowsALookUpOfEveryKeyReports)
{
    const char *states[] = {"运行", "停止", "未知"};
    for (unsigned seed : {1u, 2u, 3u, 4u}) {
        RecordSet table({{"Key", 30, FieldKind::Text, true},
                         {"OESStatus", 10, FieldKind::Text, false},
                         {"Status", 10, FieldKind::Text, false}});
        for (int i = 0; i < 50; ++i)
            appendRow(table, "PBU" + std::to_string(i), "运行");
        std::mt19937 random(seed);
        TableChanges changes({"Key", "OESStatus", "Status"});
        if (GetParam())
            changes.follow(table);
        // Followed rows are compared alone while every key stands once: half the runs keep
        // it so, the others repeat keys now and then.
        const bool duplicates = !GetParam() || seed % 2 == 0;
        LookUpEveryRow reference;
        int nextKey = 50;
        const auto edit = [&](const char *field, const std::string &value) {
            table.locateRecId(table.recIdAt(int(random() % unsigned(table.count()))));
            table.edit();
            table.setValue(field, value);
            table.post();
        };
        for (int pass = 0; pass < 400; ++pass) {
            const unsigned what = random() % 12;
            if (what < 5) {  // a few states change, as after an ordinary poll
                for (int n = random() % 4; n > 0; --n)
                    edit(random() % 2 ? "Status" : "OESStatus", states[random() % 3]);
            } else if (what == 9) {  // changes still held in a bracket, told later
                table.suspend();
                edit("Status", states[random() % 3]);
                if (random() % 4 != 0)
                    table.resume();
            } else if (what == 10) {
                table.resumeUnheld();
            } else if (what == 11 && random() % 3 == 0) {  // a key edited by hand
                edit("Key", "PBU" + std::to_string(duplicates ? random() % unsigned(nextKey + 5)
                                                              : unsigned(nextKey++)));
            } else if (what == 5) {
                appendRow(table, "PBU" + std::to_string(nextKey++), "运行");
            } else if (what == 6 && table.count() > 5) {
                table.locateRecId(table.recIdAt(int(random() % unsigned(table.count()))));
                table.deleteCurrent();
            } else if (!duplicates) {
            } else if (what == 7 && random() % 4 == 0) {  // a key standing in two rows
                appendRow(table, table.valueAt(int(random() % unsigned(table.count())), 0),
                          states[random() % 3]);
            } else if (what == 8 && random() % 4 == 0) {  // a key that was gone comes back
                appendRow(table, "PBU" + std::to_string(random() % unsigned(nextKey)), "停止");
            }
            ASSERT_EQ(changes.changedRows(table), reference.changedRows(table))
                << "seed " << seed << ", pass " << pass;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(TableChanges, TableChangesFollowing, ::testing::Bool(),
                         [](const auto &info) { return info.param ? "Following" : "Comparing"; });

} // namespace
} // namespace tarvo
