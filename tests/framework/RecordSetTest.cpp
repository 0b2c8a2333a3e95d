// Record set: cursor, editing, indexes, RecIds, booleans and deletes (batches: RecordSetBatchTest.cpp).
#include "RecordSetTestSupport.h"

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>

namespace tarvo {
namespace {

using namespace tarvo::test;

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

} // namespace
} // namespace tarvo
