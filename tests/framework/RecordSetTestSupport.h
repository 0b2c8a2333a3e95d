// Helpers of the record set tests: a field layout, rows added by hand and a listener that
// mirrors the rows from the events alone, as a view model does.
#pragma once

#include "framework/RecordSet.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarvo::test {

inline std::vector<FieldDef> fields()
{
    return {{"Key", 15, FieldKind::Text, true},
            {"Group", 20, FieldKind::Text, true},
            {"Name", 40, FieldKind::Text, false},
            {"Checked", 5, FieldKind::Boolean, false}};
}

inline void add(RecordSet& set, const std::string& key, const std::string& group = "",
         const std::string& name = "")
{
    set.append();
    set.setValue("Key", key);
    set.setValue("Group", group);
    set.setValue("Name", name);
    set.post();
}

inline std::vector<std::string> keys(const RecordSet& set)
{
    std::vector<std::string> out;
    for (int i = 0; i < set.count(); ++i)
        out.push_back(set.valueAt(i, "Key"));
    return out;
}

// Mirrors the set's rows from the events alone, as a view model does.
struct Mirror : RecordSetListener {
    explicit Mirror(RecordSet& s) : set(s)
    {
        for (int i = 0; i < s.count(); ++i)
            ids.push_back(s.recIdAt(i));
        s.addListener(this);
    }
    ~Mirror() override { set.removeListener(this); }
    void rowsInserted(int first, int last) override
    {
        log.push_back("ins " + std::to_string(first) + "-" + std::to_string(last));
        for (int i = first; i <= last; ++i)
            ids.insert(ids.begin() + i, set.recIdAt(i));
    }
    void rowsRemoved(int first, int last) override
    {
        log.push_back("rem " + std::to_string(first) + "-" + std::to_string(last));
        ASSERT_LE(last, static_cast<int>(ids.size()) - 1);
        ids.erase(ids.begin() + first, ids.begin() + last + 1);
    }
    void rowsChanged(int first, int last, const std::vector<int>& f) override
    {
        std::string text = "chg " + std::to_string(first) + "-" + std::to_string(last) + ":";
        for (int x : f)
            text += std::to_string(x);
        log.push_back(text);
        // Positions are those of the mirror at this point of the replay.
        EXPECT_LE(first, last);
        EXPECT_LT(last, static_cast<int>(ids.size()));
        ++changes;
    }
    void reset() override
    {
        log.push_back("reset");
        ids.clear();
        for (int i = 0; i < set.count(); ++i)
            ids.push_back(set.recIdAt(i));
    }
    void currentChanged() override { log.push_back("cur"); }
    std::vector<RecId> actual() const
    {
        std::vector<RecId> out;
        for (int i = 0; i < set.count(); ++i)
            out.push_back(set.recIdAt(i));
        return out;
    }
    RecordSet& set;
    std::vector<RecId> ids;
    std::vector<std::string> log;
    int changes = 0;
};

} // namespace tarvo::test
