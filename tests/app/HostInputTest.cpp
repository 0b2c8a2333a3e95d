// Normalising typed addresses and refusing commas.
#include "app/HostInput.h"

#include <gtest/gtest.h>

namespace tarvo {
namespace {

TEST(HostInputTest, NormalizeIpDropsLeadingZeros)
{
    EXPECT_EQ(normalizeIP("010.001.002.003"), "10.1.2.3");
    EXPECT_EQ(normalizeIP("10.1.2.3"), "10.1.2.3");
    EXPECT_EQ(normalizeIP("0000.0.0.255"), "0.0.0.255");
}

TEST(HostInputTest, NormalizeIpRefusesWhatIsNotFourDecimalParts)
{
    for (const char *bad : {"10.1.2", "10", "", "a.b.c.d", "1.2.3.4 x", "1.2.3.256", "1..2.3",
                            "0x1.2.3.4", "1.2.3.-4", "1.2.3.4.5"})
        EXPECT_EQ(normalizeIP(bad), "IP地址有误") << bad;
}

TEST(HostInputTest, CommasAreRefusedInAliasAndPort)
{
    EXPECT_EQ(checkListFileText("A1", "10012"), "");
    EXPECT_EQ(checkListFileText("上海，一号", "10012"), "");  // full-width comma is fine
    EXPECT_EQ(checkListFileText("A,1", "10012"), "报盘机别名不能包含逗号");
    EXPECT_EQ(checkListFileText("A1", "10,012"), "端口号不能包含逗号");
}

} // namespace
} // namespace tarvo
