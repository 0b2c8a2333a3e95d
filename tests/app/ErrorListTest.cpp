// The error list: its limit and its colour rule.
#include "app/ErrorList.h"
#include "app/MainWidgets.h"

#include <gtest/gtest.h>

namespace tarvo {
namespace {

TEST(ErrorListTest, GrowingBeyondAThousandLinesKeepsOnlyTheNewest)
{
    ErrorList list;
    int appended = 0;
    int resets = 0;
    list.setListener({[&](const std::string &) { ++appended; }, [&] { ++resets; }});
    for (int i = 1; i <= 1000; ++i)
        list.append("2009-06-01 09:05:03 line " + std::to_string(i));
    EXPECT_EQ(list.size(), 1000u);
    EXPECT_EQ(resets, 0);
    list.append("2009-06-01 09:05:04 newest");
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list.lines().front(), "2009-06-01 09:05:04 newest");
    EXPECT_EQ(appended, 1000);
    EXPECT_EQ(resets, 1);
    list.clear();
    EXPECT_EQ(list.size(), 0u);
}

TEST(ErrorListTest, LinesWhoseMessageStartsWithErrorAreRed)
{
    const std::string stamp = "2009-06-01 09:05:03 ";
    EXPECT_EQ(errorLineColour(stamp + "Error[没有配置报盘机]"), ErrorLineColour::Red);
    EXPECT_EQ(errorLineColour(stamp + "Error[报盘机列表文件保存失败]"), ErrorLineColour::Red);
    EXPECT_EQ(errorLineColour(stamp + "报盘机[Ip:10.1.1.1]断开连接"), ErrorLineColour::Blue);
    EXPECT_EQ(errorLineColour(stamp + "[10.1.1.1 E 7]disk full"), ErrorLineColour::Blue);
    EXPECT_EQ(errorLineColour(stamp + "Exception from 10.1.1.1: x"), ErrorLineColour::Blue);
    EXPECT_EQ(errorLineColour(stamp + "error lower case"), ErrorLineColour::Blue);
    EXPECT_EQ(errorLineColour("short"), ErrorLineColour::Blue);
}

TEST(ErrorListViewTest, NewestLineBecomesTheTopLine)
{
    ErrorList list;
    ErrorListView view(list);
    view.resize(400, 5 * view.itemHeight() + 8);
    EXPECT_EQ(view.topIndex(), -1);
    for (int i = 0; i < 30; ++i) {
        list.append("2009-06-01 09:05:03 line " + std::to_string(i));
        EXPECT_EQ(view.topIndex(), i) << "the new last line is scrolled to the top";
    }
    // Trimming beyond the limit leaves the newest line, again at the top.
    for (size_t i = list.size(); i <= ErrorList::kLimit; ++i)
        list.append("2009-06-01 09:05:03 Error[x]");
    EXPECT_EQ(list.size(), 1u);
    EXPECT_EQ(view.topIndex(), 0);
    list.clear();
    EXPECT_EQ(view.topIndex(), -1);
}

} // namespace
} // namespace tarvo
