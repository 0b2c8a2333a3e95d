// Refusing commas in what goes into the host list file.
#include "app/HostInput.h"

#include <gtest/gtest.h>

namespace tarvo {
namespace {

TEST(HostInputTest, CommasAreRefusedInAliasAndPort)
{
    EXPECT_EQ(checkListFileText("A1", "10012"), "");
    EXPECT_EQ(checkListFileText("上海，一号", "10012"), "");  // full-width comma is fine
    EXPECT_EQ(checkListFileText("A,1", "10012"), "报盘机别名不能包含逗号");
    EXPECT_EQ(checkListFileText("A1", "10,012"), "端口号不能包含逗号");
}

} // namespace
} // namespace tarvo
