// Scripted message boxes, column positions and status disc colours.
#include "framework/GridColumn.h"
#include "doubles/ScriptedDialogs.h"

#include <gtest/gtest.h>

namespace tarvo {
namespace {

TEST(ScriptedDialogs, RecordsBoxesAndAnswersFromTheQueueThenTheDefault)
{
    ScriptedDialogs dialogs;
    Dialogs& ui = dialogs;
    dialogs.answer(true);
    dialogs.answer(false);
    ui.information("提示", "该报盘机已存在");
    EXPECT_TRUE(ui.confirm(MessageKind::Information, "", "first"));
    EXPECT_FALSE(ui.askYesNo("", "second"));
    EXPECT_FALSE(ui.askYesNo("", "third"));  // queue empty: No
    dialogs.setDefaultAnswer(true);
    EXPECT_TRUE(ui.askYesNo("", "fourth"));
    ui.error("c", "e");

    const auto& shown = dialogs.shown();
    ASSERT_EQ(shown.size(), 6u);
    EXPECT_FALSE(shown[0].confirmation);
    EXPECT_EQ(shown[0].kind, MessageKind::Information);
    EXPECT_EQ(shown[0].caption, "提示");
    EXPECT_EQ(shown[0].text, "该报盘机已存在");
    EXPECT_TRUE(shown[1].confirmation);
    EXPECT_EQ(shown[1].kind, MessageKind::Information);
    EXPECT_TRUE(shown[1].answer);
    EXPECT_EQ(shown[2].kind, MessageKind::Question);
    EXPECT_FALSE(shown[2].answer);
    EXPECT_EQ(shown[5].kind, MessageKind::Error);
    EXPECT_EQ(dialogs.lastText(), "e");
    EXPECT_EQ(dialogs.pendingAnswers(), 0);
}

TEST(GridColumns, VisiblePositionsSkipHiddenColumns)
{
    ColumnDef hidden{"H", "", 10, ColumnKind::Text, true};
    std::vector<ColumnDef> columns{ColumnDef{"A", "", 10, ColumnKind::Text, false},
                                   ColumnDef{"B", "", 10, ColumnKind::Text, false}, hidden,
                                   ColumnDef{"C", "", 10, ColumnKind::Text, false}};
    EXPECT_EQ(columnIndexOf(columns, "C"), 3);
    EXPECT_EQ(columnIndexOf(columns, "X"), -1);
    EXPECT_EQ(visiblePositionOf(columns, 1), 1);
    EXPECT_EQ(visiblePositionOf(columns, 2), -1);
    EXPECT_EQ(visiblePositionOf(columns, 3), 2);
    EXPECT_EQ(visiblePositionOf(columns, 4), -1);
}

TEST(GridColumns, DiscColoursByWarningLevel)
{
    EXPECT_EQ(discColour("1"), (Rgb{8, 174, 0}));
    EXPECT_EQ(discColour("2"), (Rgb{255, 255, 0}));
    EXPECT_EQ(discColour("3"), (Rgb{254, 1, 1}));
    for (auto other : {"", "0", "4", " 1", "1 ", "01"})
        EXPECT_FALSE(discColour(other).has_value()) << other;
}

} // namespace
} // namespace tarvo
