// Record set: change notification batched inside a suspend bracket, and rows deleted in one
// pass, against a mirror of the rows built from the events alone.
#include "RecordSetTestSupport.h"

#include <gtest/gtest.h>

#include <random>

namespace tarvo {
namespace {

using namespace tarvo::test;

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
