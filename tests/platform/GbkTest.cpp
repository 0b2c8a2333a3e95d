// The GBK build setting and the conversion at the terminal and widget edges.
#include "platform/Gbk.h"

#include <gtest/gtest.h>

using namespace tarvo;

TEST(GbkLiterals, ChineseLiteralIsItsGbkBytes)
{
    // "运行" must reach the program as GBK D4 CB D0 D0, not as UTF-8.
    EXPECT_EQ(std::string("运行"), std::string("\xD4\xCB\xD0\xD0"));
    EXPECT_EQ(std::string("A股报盘程序").size(), 11u);
}

TEST(GbkConversion, RoundTripsChineseAndAscii)
{
    const std::string gbk = "A股报盘程序 正常运行";
    const std::string utf8 = gbk::toUtf8(gbk);
    EXPECT_EQ(utf8, "A\xE8\x82\xA1\xE6\x8A\xA5\xE7\x9B\x98\xE7\xA8\x8B\xE5\xBA\x8F "
                    "\xE6\xAD\xA3\xE5\xB8\xB8\xE8\xBF\x90\xE8\xA1\x8C");
    EXPECT_EQ(gbk::fromUtf8(utf8), gbk);
    EXPECT_EQ(gbk::toUtf8("plain"), "plain");
}

TEST(GbkConversion, BrokenBytesNeverFail)
{
    // A lead byte without its trail byte is replaced, the rest survives.
    EXPECT_EQ(gbk::toUtf8("a\xD4"), "a\xEF\xBF\xBD");
    EXPECT_EQ(gbk::fromUtf8("a\xFF" "b"), "a?b");
}
