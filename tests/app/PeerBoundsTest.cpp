// What one agent can make the console do, bounded: repeated log lines counted, log records
// limited per second and per day, messages beyond one pass's share handled at the next,
// control bytes shown as escapes on the terminal. The hostile agents suite (tests/e2e/console)
// runs each of these, and long reads, hosts that stop answering and full log disks, against
// the console program.
#include "AgentTestSupport.h"
#include "app/HeadlessConsole.h"
#include "app/LogLimits.h"
#include "app/TerminalText.h"
#include "platform/Gbk.h"

#include <QCoreApplication>

#include <cstdio>

namespace tarvo {
namespace {

using namespace tarvo::testing;
using test::agentMessage;

// ------------------------------------------------------------------ the bookkeeping

struct RepeatStep
{
    double at;
    const char *text;     // null: a call of due(), which lists its lines joined by '|'
    const char *written;  // "": only counted
    const char *kind = nullptr;  // null: the text
};

TEST(RepeatedLines, TheFirstLineIsWrittenRepeatsWithinASecondAreCountedThenWrittenWithTheirCount)
{
    const RepeatStep steps[] = {
        {0, "beat A", "beat A"},     {10, "beat A", ""},      {20, "beat B", "beat B"},
        {990, "beat A", ""},         {1000, "beat A", "beat A (3 times in 1.0 s)"},
        {1500, "beat A", ""},        {2600, nullptr, "beat A (1 time in 1.0 s)"},
        {2700, "beat A", "beat A"},  {9000, nullptr, ""},  // a second without repeats: no line
        {9100, "beat A", "beat A"},
        // Texts of one kind count together; the count line shows the last of them.
        {9200, "error 1", "error 1", "errors"}, {9300, "error 2", "", "errors"},
        {9400, "error 3", "", "errors"},       {10300, nullptr, "error 3 (2 times in 1.0 s)"},
    };
    RepeatedLines lines;
    for (const RepeatStep &step : steps) {
        if (!step.text) {
            std::string due;
            for (const std::string &line : lines.due(step.at))
                due += (due.empty() ? "" : "|") + line;
            EXPECT_EQ(due, step.written) << step.at;
            continue;
        }
        EXPECT_EQ(lines.admit(step.kind ? step.kind : step.text, step.text, step.at).value_or(""),
                  step.written)
            << step.at;
    }
}

TEST(RecordBudget, ABurstThenTheRateThenDroppedUntilTheAgentHasKeptBelowItForAWhile)
{
    RecordBudget budget;
    int written = 0;
    RecordBudget::Verdict last;
    for (int i = 0; i < 150; ++i) {  // all at once
        last = budget.admit(100, 0, "day1");
        written += last.write;
        if (i == 100)
            EXPECT_EQ(last.reached, RecordBudget::Limit::Rate);
        else
            EXPECT_EQ(last.reached, RecordBudget::Limit::None) << i;
    }
    EXPECT_EQ(written, 100);
    // A steady flood above the rate keeps it closed; the end is told once it has half refilled.
    for (int ms = 100; ms <= 2000; ms += 10)
        EXPECT_FALSE(budget.admit(100, ms, "day1").write);
    EXPECT_EQ(budget.ended(3000, "day1"), std::nullopt);
    const std::optional<long> dropped = budget.ended(5600, "day1");
    ASSERT_TRUE(dropped.has_value());
    EXPECT_EQ(*dropped, 50 + 191);
    EXPECT_TRUE(budget.admit(100, 5600, "day1").write);
    // The daily bound, then the next day.
    RecordBudget daily;
    RecordBudget::Verdict full = daily.admit(RecordBudget::kBytesPerDay, 0, "day1");
    EXPECT_TRUE(full.write);
    full = daily.admit(1, 1000, "day1");
    EXPECT_EQ(full.reached, RecordBudget::Limit::Day);
    EXPECT_FALSE(daily.admit(1, 2000, "day1").write);
    const RecordBudget::Verdict next = daily.admit(1, 3000, "day2");
    EXPECT_TRUE(next.write);
    EXPECT_EQ(next.endedAfter, std::optional<long>(2));
}

struct ShownCase
{
    std::string gbk;
    std::string shown;  // UTF-8
};

class TerminalTextCases : public ::testing::TestWithParam<ShownCase>
{
};

TEST_P(TerminalTextCases, ControlCharactersBecomeVisibleEscapes)
{
    EXPECT_EQ(terminalText(GetParam().gbk), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, TerminalTextCases,
    ::testing::Values(ShownCase{"plain text", "plain text"},
                      ShownCase{"\x1b]0;title\x07", "\\x1b]0;title\\x07"},
                      ShownCase{"a\r\nb\tc\x7f", "a\\x0d\\x0ab\\x09c\\x7f"},
                      ShownCase{"运行\x1b[2J", gbk::toUtf8("运行") + "\\x1b[2J"},
                      // GB18030 81 30 83 37 is U+009B, the one-character CSI.
                      ShownCase{"\x81\x30\x83\x37[2J", "\\u009b[2J"}));

// ------------------------------------------------------------------ the console

class PeerBounds : public test::AgentConsole
{
protected:
    void SetUp() override
    {
        window = start(test::kTwoHosts);
        ScriptedAgentSocket::connect(*sockets[0]);
        script = sockets[0].get();
    }
    TMMSocketProcessor &connection() { return *window->agentLinks().registry().entries().at("127.0.0.1"); }
    std::string sysLog() const
    {
        return test::readFile(dir.file("logs/SysLog_127.0.0.1_2009-06-01.log"));
    }
    static std::string beat() { return agentMessage("-1", std::make_unique<BeatMessageBody>()); }
    static std::string records(int n, const std::string &text)
    {
        std::string all;
        for (int i = 0; i < n; ++i)
            all += "E 1 " + text + "\x02";
        return agentMessage("-1", test::logBody(all));
    }
    std::string answerText(const std::string &cpu)
    {
        return agentMessage(lastSequence(*script),
                            test::statusBody({pbu(OES_NAME_A, "A0000000001")}, cpu));
    }

    std::unique_ptr<TF_Main> window;
    test::Script *script = nullptr;
};

TEST_F(PeerBounds, MessagesBeyondOnePassAreHandledAtTheNextAndRepeatedLinesCounted)
{
    std::string beats;
    for (int i = 0; i < 100; ++i)
        beats += beat();
    ScriptedAgentSocket::receive(*script, beats + answerText("45"));
    EXPECT_NE(connection().getPending(), "");  // a share of the loop at a time
    for (int pass = 0; pass < 4; ++pass)
        QCoreApplication::processEvents();
    EXPECT_EQ(connection().getPending(), "");
    EXPECT_EQ(field(*window, "127.0.0.1", "CpuUsage"), "45%");
    // One line for the first heartbeat; the others of that second in one line at the poll.
    const auto lines = logLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), kStamp + "Beat message received from 127.0.0.1"),
              1);
    now += 1000;
    window->TimerUpdateTimer();
    EXPECT_TRUE(logged("Beat message received from 127.0.0.1 (99 times in 1.0 s)"));
}

TEST_F(PeerBounds, TheTerminalSeesControlBytesAsEscapesInBothModes)
{
    for (const auto mode : {HeadlessConsole::Mode::Lines, HeadlessConsole::Mode::Terminal}) {
        std::FILE *out = std::tmpfile();
        ASSERT_NE(out, nullptr);
        {
            HeadlessConsole console(*window, out, mode);
            answer(*script, {pbu(OES_NAME_A, "\x1b]52;c;SGVsbG8=\x07")});
            ScriptedAgentSocket::receive(*script, records(1, "\x1b]0;title\x07" "ok\r\nforged"));
            console.printTables(true);
            QCoreApplication::processEvents();
        }
        std::rewind(out);
        std::string text;
        for (int c; (c = std::fgetc(out)) != EOF;)
            text += char(c);
        std::fclose(out);
        // The terminal mode's own redraw is the one escape sequence that may reach it.
        for (size_t at; (at = text.find("\x1b[H\x1b[2J")) != std::string::npos;)
            text.erase(at, 7);
        for (const char c : text)
            ASSERT_TRUE(c == '\n' || static_cast<unsigned char>(c) >= 0x20) << int(c) << text;
        EXPECT_NE(text.find("\\x1b]0;title\\x07ok\\x0d\\x0aforged"), std::string::npos) << text;
        EXPECT_NE(text.find("\\x1b]\xE2\x80\xA6"), std::string::npos) << text;  // PBU cell, cut
    }
    // The file keeps the bytes.
    EXPECT_NE(sysLog().find("\x1b]0;title\x07" "ok\r\nforged"), std::string::npos);
}

} // namespace
} // namespace tarvo
