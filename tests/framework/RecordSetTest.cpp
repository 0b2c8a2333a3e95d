// Record set: cursor, editing, indexes, RecIds, booleans and batched change notification.
#include "framework/RecordSet.h"

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>

namespace tarvo {
namespace {

std::vector<FieldDef> fields()
{
    return {{"Key", 15, FieldKind::Text, true},
            {"Group", 20, FieldKind::Text, true},
            {"Name", 40, FieldKind::Text, false},
            {"Checked", 5, FieldKind::Boolean, false}};
}

void add(RecordSet& set, const std::string& key, const std::string& group = "",
         const std::string& name = "")
{
    set.append();
    set.setValue("Key", key);
    set.setValue("Group", group);
    set.setValue("Name", name);
    set.post();
}

std::vector<std::string> keys(const RecordSet& set)
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

TEST(RecordSet, LocateFindsFirstMatchingRowByIndexAndByScan)
{
    RecordSet set(fields());
    add(set, "10.0.0.1", "g1", "alpha");
    add(set, "10.0.0.2", "g2", "beta");
    add(set, "10.0.0.3", "g1", "beta");

    ASSERT_TRUE(set.locate("Key", "10.0.0.2"));
    EXPECT_EQ(set.value("Name"), "beta");
    ASSERT_TRUE(set.locate("Group", "g1"));  // non-unique index: the first row
    EXPECT_EQ(set.value("Key"), "10.0.0.1");
    ASSERT_TRUE(set.locate("Name", "beta"));  // not indexed
    EXPECT_EQ(set.value("Key"), "10.0.0.2");
    EXPECT_EQ(set.findAll("Group", "g1"), (std::vector<int>{0, 2}));
    EXPECT_EQ(set.findAll("Name", "beta"), (std::vector<int>{1, 2}));

    set.locate("Key", "10.0.0.3");
    EXPECT_FALSE(set.locate("Key", "10.0.0.9"));
    EXPECT_FALSE(set.locate("Key", "10.0.0"));  // exact match only
    EXPECT_EQ(set.value("Key"), "10.0.0.3");    // the cursor stayed
}

TEST(RecordSet, IndexFollowsEditsAndDeletes)
{
    RecordSet set(fields());
    add(set, "a", "g");
    add(set, "b", "g");
    ASSERT_TRUE(set.locate("Key", "a"));
    set.edit();
    set.setValue("Key", "z");
    set.setValue("Group", "h");
    set.post();
    EXPECT_FALSE(set.locate("Key", "a"));
    ASSERT_TRUE(set.locate("Key", "z"));
    ASSERT_TRUE(set.locate("Group", "g"));
    EXPECT_EQ(set.value("Key"), "b");
    set.deleteCurrent();
    EXPECT_FALSE(set.locate("Group", "g"));
    EXPECT_FALSE(set.locate("Key", "b"));
    // A key given back to an older row is found at that row again.
    add(set, "c", "g");
    ASSERT_TRUE(set.locate("Key", "z"));
    set.edit();
    set.setValue("Group", "g");
    set.post();
    ASSERT_TRUE(set.locate("Group", "g"));
    EXPECT_EQ(set.value("Key"), "z");
}

// locateNear must find what locate finds, whatever the hint: a right hint, a wrong one, one
// out of range, a value that stands in two rows, a pending edit that moves the value.
TEST(RecordSet, LocateNearFindsWhatLocateFinds)
{
    RecordSet set(fields());
    add(set, "a", "g1");
    add(set, "b", "g2");
    add(set, "c", "g1");
    const int key = set.fieldIndex("Key");
    const int group = set.fieldIndex("Group");
    const int name = set.fieldIndex("Name");
    EXPECT_FALSE(set.hasDuplicates(key));
    EXPECT_TRUE(set.hasDuplicates(group));

    for (int hint : {-1, 0, 1, 2, 3, 99}) {
        SCOPED_TRACE(hint);
        ASSERT_TRUE(set.locateNear(key, "b", hint));
        EXPECT_EQ(set.currentPosition(), 1);
        ASSERT_TRUE(set.locateNear(group, "g1", hint));  // the first of the two, not the hint
        EXPECT_EQ(set.currentPosition(), 0);
        ASSERT_TRUE(set.locateNear(name, "", hint));     // not indexed: a scan
        EXPECT_EQ(set.currentPosition(), 0);
        EXPECT_FALSE(set.locateNear(key, "x", hint));
        EXPECT_EQ(set.currentPosition(), 0);             // the cursor stayed
    }

    // A pending edit of row 1 takes "b" away: it is posted before the hint is trusted.
    ASSERT_TRUE(set.locate("Key", "b"));
    set.edit();
    set.setValue("Key", "d");
    EXPECT_FALSE(set.locateNear(key, "b", 1));  // the pending edit was posted first
    EXPECT_EQ(set.value("Key"), "d");
    ASSERT_TRUE(set.locateNear(key, "c", 2));
    EXPECT_EQ(set.currentRecId(), set.recIdAt(2));

    // Duplicates come and go with edits, deletes and clear.
    set.edit();
    set.setValue("Key", "a");
    set.post();
    EXPECT_TRUE(set.hasDuplicates(key));
    ASSERT_TRUE(set.locateNear(key, "a", 2));
    EXPECT_EQ(set.currentPosition(), 0);
    set.locateRecId(set.recIdAt(2));
    set.deleteCurrent();
    EXPECT_FALSE(set.hasDuplicates(key));
    set.clear();
    EXPECT_FALSE(set.hasDuplicates(group));
    EXPECT_THROW(set.locateNear(7, "a", 0), std::out_of_range);
}

TEST(RecordSet, RecIdsAreUniqueAndNeverReused)
{
    RecordSet set(fields());
    add(set, "a");
    RecId a = set.currentRecId();
    add(set, "b");
    RecId b = set.currentRecId();
    EXPECT_NE(a, kNoRecId);
    EXPECT_LT(a, b);
    set.deleteCurrent();
    add(set, "c");
    EXPECT_GT(set.currentRecId(), b);
    RecId c = set.currentRecId();
    set.clear();
    add(set, "d");
    EXPECT_GT(set.currentRecId(), c);
    EXPECT_FALSE(set.contains(a));
}

TEST(RecordSet, EditPostAndCancel)
{
    RecordSet set(fields());
    add(set, "a", "", "old");
    set.edit();
    set.setValue("Name", "new");
    EXPECT_EQ(set.value("Name"), "new");  // reads the edit buffer
    EXPECT_EQ(set.valueAt(0, "Name"), "old");
    set.cancel();
    EXPECT_EQ(set.value("Name"), "old");
    set.edit();
    set.setValue("Name", "new");
    set.post();
    EXPECT_EQ(set.valueAt(0, "Name"), "new");
    EXPECT_EQ(set.state(), RecordSet::State::Browse);
}

TEST(RecordSet, MovingTheCursorPostsAPendingEdit)
{
    RecordSet set(fields());
    add(set, "a");
    add(set, "b");
    set.first();
    set.edit();
    set.setValue("Name", "kept");
    set.next();
    EXPECT_EQ(set.valueAt(0, "Name"), "kept");
    set.append();
    set.setValue("Key", "c");
    ASSERT_TRUE(set.locate("Key", "c"));  // the append was posted, then found
    EXPECT_EQ(set.count(), 3);
}

TEST(RecordSet, MisuseIsReportedWithClearErrors)
{
    RecordSet set(fields());
    EXPECT_THROW(set.setValue("Name", "x"), std::logic_error);
    EXPECT_THROW(set.edit(), std::logic_error);
    try {
        set.value("Nope");
        FAIL();
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "Field 'Nope' not found");
    }
    EXPECT_THROW(RecordSet({{"A"}, {"A"}}), std::logic_error);
    EXPECT_EQ(set.value("Name"), "");  // empty set: empty values
    EXPECT_EQ(set.fieldSize("Name"), 40);
}

// A tick resumes whatever bracket was left open; a guard's bracket (a command waiting for a
// confirmation) stays open across it, and no resume without a bracket throws.
TEST(RecordSet, StrayBracketsCloseButGuardedOnesSurviveAForcedResume)
{
    RecordSet set(fields());
    Mirror m(set);
    set.resume();  // nothing open: nothing happens
    EXPECT_FALSE(set.suspended());
    {
        SuspendGuard guard(set);
        set.suspend();  // a bracket nobody closes
        add(set, "a");
        set.resumeUnheld();
        EXPECT_TRUE(set.suspended());
        EXPECT_TRUE(m.log.empty());
        set.resumeUnheld();
        set.resume();  // one resume too many: ignored, the guard's bracket still holds
        EXPECT_TRUE(set.suspended());
    }
    EXPECT_FALSE(set.suspended());
    EXPECT_EQ(m.log, (std::vector<std::string>{"ins 0-0", "cur"}));
    set.suspend();
    set.suspend();
    set.resumeUnheld();
    EXPECT_FALSE(set.suspended());
}

TEST(RecordSet, AppendedRowJoinsAtPostAndBecomesCurrent)
{
    RecordSet set(fields());
    add(set, "a");
    set.first();
    set.append();
    EXPECT_EQ(set.count(), 1);
    set.setValue("Key", "b");
    set.deleteCurrent();  // drops the unposted row only
    EXPECT_EQ(set.count(), 1);
    EXPECT_EQ(set.value("Key"), "a");
    add(set, "c");
    EXPECT_EQ(set.value("Key"), "c");
    EXPECT_EQ(set.currentPosition(), 1);
}

TEST(RecordSet, BooleansAreTrueFalseTextsAndEmptyIsFalse)
{
    RecordSet set(fields());
    add(set, "a");
    EXPECT_FALSE(set.asBool("Checked"));
    set.edit();
    set.setBool("Checked", true);
    set.post();
    EXPECT_EQ(set.value("Checked"), "True");
    EXPECT_TRUE(set.asBool("Checked"));
    set.edit();
    set.setBool("Checked", false);
    set.post();
    EXPECT_EQ(set.value("Checked"), "False");
    EXPECT_FALSE(set.asBool("Checked"));
}

TEST(RecordSet, PositionsStayExactAfterRandomDeletes)
{
    RecordSet set({{"k", 10, FieldKind::Text, true}});
    std::mt19937 random(7);
    std::vector<RecId> alive;
    for (int round = 0; round < 2000; ++round) {
        if (alive.empty() || random() % 3 != 0) {
            set.append();
            set.setValue("k", std::to_string(round));
            set.post();
            alive.push_back(set.currentRecId());
        } else {
            const size_t victim = random() % alive.size();
            ASSERT_TRUE(set.locateRecId(alive[victim]));
            set.deleteCurrent();
            alive.erase(alive.begin() + long(victim));
        }
        const RecId probe = RecId(random() % (round + 2));
        const auto at = std::find(alive.begin(), alive.end(), probe);
        ASSERT_EQ(set.positionOf(probe), at == alive.end() ? -1 : int(at - alive.begin()))
            << "round " << round << " id " << probe;
    }
}

TEST(RecordSet, CursorAfterDelete)
{
    RecordSet set(fields());
    for (auto k : {"a", "b", "c"})
        add(set, k);
    set.locate("Key", "b");
    set.deleteCurrent();
    EXPECT_EQ(set.value("Key"), "c");  // the row that followed
    EXPECT_FALSE(set.eof());
    set.deleteCurrent();
    EXPECT_EQ(set.value("Key"), "a");  // the last row went: the new last row, at the end
    EXPECT_TRUE(set.eof());
    set.deleteCurrent();
    EXPECT_EQ(set.currentRecId(), kNoRecId);
    EXPECT_TRUE(set.eof());
    EXPECT_FALSE(set.first());
}

// first / next / eof with deletes on the way: every row is visited exactly once.
class WalkDelete : public testing::TestWithParam<std::string> {};

TEST_P(WalkDelete, VisitsEveryRowOnce)
{
    const std::string doomed = GetParam();  // keys to delete during the walk
    RecordSet set(fields());
    for (char k : std::string("abcde"))
        add(set, std::string(1, k));
    std::string visited;
    std::string kept;
    for (set.first(); !set.eof();) {
        std::string key = set.value("Key");
        visited += key;
        if (doomed.find(key) != std::string::npos) {
            set.deleteCurrent();
        } else {
            kept += key;
            set.next();
        }
    }
    EXPECT_EQ(visited, "abcde");
    std::string left;
    for (auto& k : keys(set))
        left += k;
    EXPECT_EQ(left, kept);
}

INSTANTIATE_TEST_SUITE_P(RecordSet, WalkDelete,
                         testing::Values("", "a", "e", "ace", "bd", "de", "abcde"));

TEST(RecordSet, OutsideABracketEveryChangeIsReportedAtOnce)
{
    RecordSet set(fields());
    Mirror m(set);
    add(set, "a");
    add(set, "b");
    set.first();
    set.edit();
    set.setValue("Name", "x");
    set.setValue("Key", "a");  // unchanged: not reported
    set.post();
    set.edit();
    set.post();  // nothing changed: no event
    set.deleteCurrent();
    EXPECT_EQ(m.log, (std::vector<std::string>{"ins 0-0", "cur", "ins 1-1", "cur", "cur",
                                               "chg 0-0:2", "rem 0-0", "cur"}));
    EXPECT_EQ(m.ids, m.actual());
}

TEST(RecordSet, NestedBracketReportsOnceAtTheOutermostResume)
{
    RecordSet set(fields());
    for (auto k : {"a", "b", "c", "d", "e", "f"})
        add(set, k);
    set.first();
    Mirror m(set);
    set.suspend();
    set.suspend();
    set.locate("Key", "b");
    set.deleteCurrent();
    set.deleteCurrent();  // c
    set.locate("Key", "e");
    set.edit();
    set.setValue("Name", "E");
    set.post();
    set.locate("Key", "a");
    set.edit();
    set.setBool("Checked", true);
    set.post();
    set.locate("Key", "f");
    set.deleteCurrent();
    add(set, "g");
    add(set, "h");
    set.edit();
    set.setValue("Name", "H");  // a new row: reported as inserted only
    set.post();
    set.resume();
    EXPECT_TRUE(m.log.empty());
    set.resume();
    // Removals highest first, then one insertion, one change, the cursor.
    EXPECT_EQ(m.log, (std::vector<std::string>{"rem 5-5", "rem 1-2", "ins 3-4", "chg 0-2:23",
                                               "cur"}));
    EXPECT_EQ(m.ids, m.actual());
    EXPECT_EQ(keys(set), (std::vector<std::string>{"a", "d", "e", "g", "h"}));
}

TEST(RecordSet, BracketDropsEventsOfRowsThatCameAndWent)
{
    RecordSet set(fields());
    add(set, "a");
    Mirror m(set);
    {
        SuspendGuard guard(set);
        add(set, "tmp");
        set.deleteCurrent();
        set.first();
        set.edit();
        set.setValue("Name", "x");
        set.post();
        set.deleteCurrent();
    }
    EXPECT_EQ(m.log, (std::vector<std::string>{"rem 0-0", "cur"}));
    EXPECT_EQ(m.ids, m.actual());
}

TEST(RecordSet, CursorBackWhereItWasIsNotReported)
{
    RecordSet set(fields());
    add(set, "a");
    add(set, "b");
    Mirror m(set);
    {
        SuspendGuard guard(set);
        set.first();
        set.locate("Key", "b");
    }
    EXPECT_TRUE(m.log.empty());
}

TEST(RecordSet, ClearInsideABracketIsOneReset)
{
    RecordSet set(fields());
    add(set, "a");
    Mirror m(set);
    {
        SuspendGuard guard(set);
        set.first();
        set.deleteCurrent();
        set.clear();
        add(set, "b");
    }
    EXPECT_EQ(m.log, (std::vector<std::string>{"reset", "cur"}));
    EXPECT_EQ(m.ids, m.actual());
}

TEST(RecordSet, SetValueByIdLeavesTheCursor)
{
    RecordSet set(fields());
    add(set, "a");
    RecId a = set.currentRecId();
    add(set, "b");
    EXPECT_TRUE(set.setValueById(a, "Checked", "True"));
    EXPECT_EQ(set.value("Key"), "b");
    EXPECT_EQ(set.valueAt(0, "Checked"), "True");
    EXPECT_FALSE(set.setValueById(999, "Checked", "True"));
}

// Any sequence of operations inside brackets leaves a mirror that followed only the events
// equal to the set.
class RandomBatches : public testing::TestWithParam<unsigned> {};

TEST_P(RandomBatches, MirrorStaysExact)
{
    std::mt19937 rng(GetParam());
    RecordSet set(fields());
    Mirror m(set);
    int serial = 0;
    for (int round = 0; round < 40; ++round) {
        bool bracket = rng() % 4 != 0;
        if (bracket)
            set.suspend();
        int ops = 1 + static_cast<int>(rng() % 12);
        for (int i = 0; i < ops; ++i) {
            unsigned op = rng() % 10;
            if (op < 4 || set.isEmpty()) {
                std::string key = std::to_string(serial++);
                std::string group = std::to_string(rng() % 3);
                add(set, key.insert(0, 1, 'k'), group.insert(0, 1, 'g'));
            } else if (op < 7) {
                set.locateRecId(set.recIdAt(static_cast<int>(rng() % set.count())));
                set.deleteCurrent();
            } else if (op < 9) {
                set.locateRecId(set.recIdAt(static_cast<int>(rng() % set.count())));
                set.edit();
                set.setValue("Name", std::to_string(rng()));
                set.post();
            } else if (rng() % 5 == 0) {
                set.clear();
            }
        }
        if (bracket)
            set.resume();
        ASSERT_EQ(m.ids, m.actual()) << "round " << round;
    }
    EXPECT_GT(m.changes, 0);
}

INSTANTIATE_TEST_SUITE_P(RecordSet, RandomBatches, testing::Values(1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u));

// deleteWhere leaves the rows, the cursor and a mirror of the events as the walk it replaces
// (locate and deleteCurrent until nothing matches) leaves them, inside a bracket and outside.
TEST(RecordSet, DeleteWhereDoesWhatDeletingOneByOneDoes)
{
    std::mt19937 random(20261209);
    for (int round = 0; round < 300; ++round) {
        RecordSet walked(fields()), batched(fields());
        const int rows = static_cast<int>(random() % 12);
        for (int i = 0; i < rows; ++i) {
            const std::string group = "g" + std::to_string(random() % 3);
            for (RecordSet* set : {&walked, &batched}) {
                add(*set, "k" + std::to_string(i), group);
                set->edit();
                set->setBool("Checked", i % 2 == 0);
                set->post();
            }
        }
        const std::string target = "g" + std::to_string(random() % 4);  // g3: none match
        const int cursor = rows ? static_cast<int>(random() % rows) : -1;
        const bool bracket = random() % 2 == 0;
        const bool pendingEdit = rows && random() % 3 == 0;
        SCOPED_TRACE("round " + std::to_string(round));

        Mirror walkedMirror(walked), batchedMirror(batched);
        int walkedChecked = 0, batchedChecked = 0;
        for (RecordSet* set : {&walked, &batched}) {
            if (cursor >= 0)
                set->locateRecId(set->recIdAt(cursor));
            if (pendingEdit) {
                set->edit();
                set->setValue("Group", target);  // posted before the rows are looked for
            }
            if (bracket)
                set->suspend();
        }
        while (walked.locate("Group", target)) {
            walkedChecked += walked.asBool("Checked");
            walked.deleteCurrent();
        }
        const int deleted = batched.deleteWhere("Group", target, [&](int row) {
            batchedChecked += batched.valueAt(row, "Checked") == kTrueText;
        });
        if (bracket) {
            walked.resume();
            batched.resume();
        }

        EXPECT_EQ(keys(batched), keys(walked));
        EXPECT_EQ(deleted, rows - walked.count());
        EXPECT_EQ(batchedChecked, walkedChecked);
        EXPECT_EQ(batched.currentPosition(), walked.currentPosition());
        EXPECT_EQ(batched.eof(), walked.eof());
        EXPECT_EQ(batchedMirror.ids, batchedMirror.actual());
        if (bracket) {  // outside one, the walk also reports every step of its cursor
            EXPECT_EQ(batchedMirror.log, walkedMirror.log);
        }
        EXPECT_TRUE(batched.findAll("Group", target).empty());
    }
}

} // namespace
} // namespace tarvo
