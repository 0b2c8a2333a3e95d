// The console without a window: aligned table text and what it prints after a poll.
#include "AgentTestSupport.h"
#include "app/HeadlessConsole.h"
#include "platform/Gbk.h"

#include <QCoreApplication>

#include <cstdio>

namespace tarvo {
namespace {

struct PadCase
{
    const char *text;
    size_t width;
    const char *padded;
};

class PadColumn : public ::testing::TestWithParam<PadCase>
{
};

TEST_P(PadColumn, PadsToTheWidthAndCutsAtCharacterBoundaries)
{
    // Expected texts are written in GBK here; the column comes out in UTF-8.
    EXPECT_EQ(padColumn(GetParam().text, GetParam().width), gbk::toUtf8(GetParam().padded));
}

INSTANTIATE_TEST_SUITE_P(
    Texts, PadColumn,
    ::testing::Values(PadCase{"", 3, "   "}, PadCase{"ab", 4, "ab  "},
                      PadCase{"运行", 6, "运行  "},    // two characters, four columns
                      PadCase{"运行", 5, "运行 "},     // exactly one blank left
                      PadCase{"已连接", 6, "已连… "},  // cut: two columns, the ellipsis, a blank
                      PadCase{"abcdef", 4, "ab… "}, PadCase{"a运", 3, "a… "}));

class HeadlessConsoleTest : public test::AgentConsole
{
};

TEST_F(HeadlessConsoleTest, PrintsTheErrorListAsItGrowsAndTheTablesAtEveryTick)
{
    auto window = start("h1,127.0.0.1,10012,N,N,0,\r\n");
    std::FILE *out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    {
        HeadlessConsole console(*window, out, HeadlessConsole::Mode::Lines);
        ScriptedAgentSocket::connect(*sockets[0]);
        answer(*sockets[0], {tarvo::testing::pbu(OES_NAME_A, "A0000000001", "3", "77")});
        window->TimerUpdateTimer();
        // The tables follow in the next pass of the event loop.
        QCoreApplication::processEvents();
    }
    std::rewind(out);
    std::string text;
    for (int c; (c = std::fgetc(out)) != EOF;)
        text += char(c);
    std::fclose(out);
    const std::string utf8 = text;
    // Lines written before the console was attached come first, in UTF-8.
    EXPECT_EQ(utf8.rfind(gbk::toUtf8(kStamp + "Monitor正常运行") + "\n", 0), 0u) << utf8;
    EXPECT_NE(utf8.find(gbk::toUtf8(kStamp + "报盘机[Ip:127.0.0.1]连接成功")), std::string::npos);
    EXPECT_NE(utf8.find(padColumn("127.0.0.1", 16) + padColumn("h1", 16) +
                        padColumn("已连接", 10) + padColumn("运行", 10)),
              std::string::npos)
        << utf8;
    EXPECT_NE(utf8.find(padColumn("A0000", 7) + padColumn("000001", 11) + padColumn("运行", 10) +
                        padColumn("运行", 10) + padColumn("77", 10)),
              std::string::npos)
        << utf8;
    EXPECT_NE(utf8.find("HOST:0/1 PBU:0/1"), std::string::npos);
}

std::string contents(std::FILE *out)
{
    std::fflush(out);
    std::rewind(out);
    std::string text;
    for (int c; (c = std::fgetc(out)) != EOF;)
        text += char(c);
    return text;
}

// A lost connection shows at once, not at the next poll; a counter that moved waits for it.
TEST_F(HeadlessConsoleTest, PrintsTheTablesWhenAConnectionOrAStateChangesBetweenPolls)
{
    auto window = start("h1,127.0.0.1,10012,N,N,0,\r\n");
    std::FILE *out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    HeadlessConsole console(*window, out, HeadlessConsole::Mode::Lines);
    console.setMinimumGapMs(0);
    ScriptedAgentSocket::connect(*sockets[0]);
    answer(*sockets[0], {tarvo::testing::pbu(OES_NAME_A, "A0000000001", "3", "77")});
    QCoreApplication::processEvents();
    const std::string running = padColumn("127.0.0.1", 16) + padColumn("h1", 16) +
                                padColumn("已连接", 10) + padColumn("运行", 10);
    EXPECT_NE(contents(out).find(running), std::string::npos);

    window->agentLinks().poller().sendStatusRequest();
    answer(*sockets[0], {tarvo::testing::pbu(OES_NAME_A, "A0000000001", "3", "78")});
    QCoreApplication::processEvents();
    EXPECT_EQ(contents(out).find(padColumn("78", 10)), std::string::npos) << "counters wait";

    ScriptedAgentSocket::peerClose(*sockets[0]);
    QCoreApplication::processEvents();
    const std::string text = contents(out);
    // After the whole tables, one line for the row that changed, its empty columns trimmed.
    EXPECT_NE(text.find(gbk::toUtf8(kStamp + "报盘机 ") + padColumn("127.0.0.1", 16) +
                        padColumn("h1", 16) + gbk::toUtf8("已断开\n")),
              std::string::npos)
        << text;
    std::fclose(out);
}

} // namespace
} // namespace tarvo
