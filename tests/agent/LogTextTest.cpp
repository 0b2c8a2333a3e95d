// Client texts on their way into the agent's log: cut, control bytes shown, GBK kept whole.
#include "agent/LogText.h"

#include <gtest/gtest.h>

namespace tarvo {
namespace {

struct ClipCase
{
    const char *name;
    std::string text;
    size_t limit;
    std::string logged;
};

class ClipForLog : public ::testing::TestWithParam<ClipCase>
{
};

TEST_P(ClipForLog, CutsLongTextsAndShowsEveryByteThatCouldActOnAReader)
{
    EXPECT_EQ(clipForLog(GetParam().text, GetParam().limit), GetParam().logged);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ClipForLog,
    ::testing::Values(
        ClipCase{"Short", "AgentVersion", LOGGED_TEXT_LIMIT, "AgentVersion"},
        ClipCase{"AtTheLimit", std::string(300, 'x'), 300, std::string(300, 'x')},
        ClipCase{"Long", std::string(20000, 'x'), 300, std::string(300, 'x') + "... (20000 bytes)"},
        ClipCase{"ForgedLine", "a\r\n2001-01-01 09:00:00 ERROR forged\x01\x7F", 300,
                 "a\\x0d\\x0a2001-01-01 09:00:00 ERROR forged\\x01\\x7f"},
        ClipCase{"WindowTitle", "\x1b]0;owned\x07", 300, "\\x1b]0;owned\\x07"},
        // "运行" is D4 CB D0 D0: a cut at 3 bytes keeps only the whole first character.
        ClipCase{"GbkCut", "运行", 3, "运... (4 bytes)"},
        ClipCase{"GbkWhole", "运行", 4, "运行"},
        // A GB18030 four-byte character (81 30 81 30) stays whole or goes whole.
        ClipCase{"FourByteGoes", "a\x81\x30\x81\x30z", 4, "a... (6 bytes)"},
        ClipCase{"FourByteStays", "a\x81\x30\x81\x30z", 5, "a\x81\x30\x81\x30... (6 bytes)"},
        // A lead byte cannot take a CR along as its trail byte.
        ClipCase{"LeadBeforeCr", "\x81\r\n", 300, "\\x81\\x0d\\x0a"},
        ClipCase{"NoCharacter", "\x80\xFF" "a\xD4", 300, "\\x80\\xffa\\xd4"},
        ClipCase{"EscapeNotSplit", "ab\r", 5, "ab... (3 bytes)"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(ShowControlBytes, KeepsTextsWithoutControlBytesAndCutsNothing)
{
    const std::string long_(5000, 'y');
    EXPECT_EQ(showControlBytes(long_), long_);
    EXPECT_EQ(showControlBytes("A股报盘程序 stopped"), "A股报盘程序 stopped");
    EXPECT_EQ(showControlBytes("x\r\ny"), "x\\x0d\\x0ay");
}

} // namespace
} // namespace tarvo
