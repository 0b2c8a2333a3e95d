// Grid state: selection by RecId, first visible row and bookmarks, without widgets.
#include "framework/GridState.h"

#include <gtest/gtest.h>

namespace tarvo {
namespace {

struct GridStateTest : testing::Test {
    GridStateTest()
    {
        for (auto k : {"10.0.0.1", "10.0.0.2", "10.0.0.3", "10.0.0.4"}) {
            set.append();
            set.setValue("Key", k);
            set.post();
            ids.push_back(set.currentRecId());
        }
    }
    RecordSet set{{{"Key", 15, FieldKind::Text, true}}};
    GridState state{set};
    std::vector<RecId> ids;
};

struct Counter : GridStateListener {
    void selectionChanged() override { ++selections; }
    void firstVisibleRowChanged() override { ++scrolls; }
    int selections = 0;
    int scrolls = 0;
};

TEST_F(GridStateTest, SelectionKeepsOrderDropsUnknownAndDuplicateRows)
{
    state.setSelection({ids[2], ids[0], 999, ids[2]});
    EXPECT_EQ(state.selectedRecIds(), (std::vector<RecId>{ids[2], ids[0]}));
    EXPECT_TRUE(state.isSelected(ids[0]));
    EXPECT_FALSE(state.isSelected(ids[1]));
}

TEST_F(GridStateTest, DeletedRowsLeaveTheSelection)
{
    state.setSelection({ids[1], ids[3]});
    set.locateRecId(ids[1]);
    set.deleteCurrent();
    EXPECT_EQ(state.selectedRecIds(), (std::vector<RecId>{ids[3]}));
    EXPECT_EQ(state.selectedCount(), 1);
    EXPECT_FALSE(state.isSelected(ids[1]));
}

TEST_F(GridStateTest, SelectAllAndClear)
{
    state.selectAll();
    EXPECT_EQ(state.selectedRecIds(), ids);
    state.clearSelection();
    EXPECT_TRUE(state.selectedRecIds().empty());
}

TEST_F(GridStateTest, LogicChangesAreToldToTheViewButViewChangesAreNotEchoed)
{
    Counter counter;
    state.addListener(&counter);
    state.selectAll();
    state.setFirstVisibleRow(2);
    state.setFirstVisibleRow(2);  // unchanged
    state.viewSetSelection({ids[0]});
    state.viewSetFirstVisibleRow(3);
    EXPECT_EQ(counter.selections, 1);
    EXPECT_EQ(counter.scrolls, 1);
    EXPECT_EQ(state.selectedRecIds(), (std::vector<RecId>{ids[0]}));
    EXPECT_EQ(state.firstVisibleRow(), 3);
    state.removeListener(&counter);
    state.clearSelection();
    EXPECT_EQ(counter.selections, 1);
}

TEST_F(GridStateTest, CurrentRowIsTheRecordSetCursor)
{
    EXPECT_TRUE(state.setCurrentRecId(ids[1]));
    EXPECT_EQ(set.value("Key"), "10.0.0.2");
    set.first();
    EXPECT_EQ(state.currentRecId(), ids[0]);
    EXPECT_FALSE(state.setCurrentRecId(999));
    EXPECT_EQ(state.currentRecId(), ids[0]);
}

TEST_F(GridStateTest, BookmarkRestoresRowByKeyAndFirstVisibleRow)
{
    state.setCurrentRecId(ids[2]);
    state.setFirstVisibleRow(1);
    auto mark = state.remember("Key");
    EXPECT_EQ(mark.key, "10.0.0.3");
    {
        SuspendGuard guard(set);
        for (set.first(); !set.eof(); set.next()) {
        }
        state.setFirstVisibleRow(0);
    }
    EXPECT_TRUE(state.restore(mark, "Key"));
    EXPECT_EQ(state.currentRecId(), ids[2]);
    EXPECT_EQ(state.firstVisibleRow(), 1);
}

TEST_F(GridStateTest, BookmarkOfAVanishedRowFallsBackToTheFirstRowWhenAsked)
{
    state.setCurrentRecId(ids[2]);
    auto mark = state.remember("Key");
    set.deleteCurrent();
    set.locateRecId(ids[3]);
    EXPECT_FALSE(state.restore(mark, "Key"));
    EXPECT_EQ(state.currentRecId(), ids[3]);  // left where it was
    EXPECT_FALSE(state.restore(mark, "Key", true));
    EXPECT_EQ(state.currentRecId(), ids[0]);
}

TEST(GridStateEmpty, BookmarkOfAnEmptySetRestoresNothing)
{
    RecordSet set({{"Key"}});
    GridState state(set);
    auto mark = state.remember("Key");
    EXPECT_FALSE(mark.hadRow);
    set.append();
    set.setValue("Key", "");
    set.post();
    set.deleteCurrent();
    EXPECT_FALSE(state.restore(mark, "Key", true));
    EXPECT_EQ(state.firstVisibleRow(), 0);
}

} // namespace
} // namespace tarvo
