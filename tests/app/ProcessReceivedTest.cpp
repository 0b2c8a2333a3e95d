// Taking apart what agents send, on raw byte buffers and through the connection: framing of
// split and merged messages, version mismatches, bad trailers, checksum errors, over-long
// messages, unmatched and out-of-order answers, log messages and their SysLog file bytes.
#include "AgentTestSupport.h"

namespace tarvo {
namespace {

using namespace tarvo::testing;
using test::agentMessage;
using test::Script;

class ProcessReceived : public test::AgentConsole
{
protected:
    void SetUp() override
    {
        window = start(test::kTwoHosts);
        ScriptedAgentSocket::connect(*sockets[0]);
        script = sockets[0].get();
    }

    TMMSocketProcessor &connection() { return *window->agentLinks().registry().entries().at("127.0.0.1"); }
    int process(std::string_view bytes)
    {
        return window->agentLinks().processReceived("127.0.0.1", bytes);
    }
    static std::string beat(const std::string &sequence = "-1")
    {
        return agentMessage(sequence, std::make_unique<BeatMessageBody>());
    }
    std::string statusAnswer(const std::string &sequence, const std::string &bids = "10")
    {
        return agentMessage(sequence, test::statusBody({pbu(OES_NAME_A, "A0000000001", "3", bids)}));
    }

    std::unique_ptr<TF_Main> window;
    Script *script = nullptr;
};

TEST_F(ProcessReceived, TwoWholeMessagesAndHalfAThirdConsumeTheFirstTwo)
{
    const std::string answer = statusAnswer("0");
    const std::string third = beat();
    const std::string buffer = beat() + answer + third.substr(0, 10);
    EXPECT_EQ(process(buffer), int(beat().size() + answer.size()));
    EXPECT_TRUE(logged("Beat message received from 127.0.0.1"));
    EXPECT_FALSE(listed(*window, "Beat message received from 127.0.0.1"));
    EXPECT_EQ(field(*window, "127.0.0.1", "OESStatusA"), "运行");
}

TEST_F(ProcessReceived, MessagesSplitAtEveryByteArriveWhole)
{
    const std::string bytes = statusAnswer("0") + beat();
    for (char c : bytes)
        ScriptedAgentSocket::receive(*script, std::string(1, c));
    EXPECT_EQ(connection().getPending(), "");
    EXPECT_EQ(pbuRows(*window, "127.0.0.1"), 1);
    EXPECT_TRUE(logged("Beat message received from 127.0.0.1"));
}

struct VersionCase
{
    const char *version;
    const char *orientation;
    const char *message;
};

class Versions : public ProcessReceived, public ::testing::WithParamInterface<VersionCase>
{
};

TEST_P(Versions, MismatchIsReportedTheConnectionClosedAndItsBytesDropped)
{
    const VersionCase &c = GetParam();
    const std::string other = agentMessage("0", test::statusBody({}), c.version, c.orientation);
    ScriptedAgentSocket::receive(*script, other + beat());
    EXPECT_TRUE(listed(*window, c.message));
    EXPECT_EQ(field(*window, "127.0.0.1", "Connection"), "已断开");
    EXPECT_EQ(window->errorBeepThread()->pendingBeeps.load(), 5);
    EXPECT_EQ(connection().getPending(), "");  // a reconnect starts clean
    EXPECT_EQ(window->getStatusText(), c.message);
    EXPECT_EQ(field(*window, "127.0.0.2", "Connection"), "未连接");
}

INSTANTIATE_TEST_SUITE_P(
    Orientations, Versions,
    ::testing::Values(
        VersionCase{"Tarvo1.19", "S", "Error[探针127.0.0.1的版本低于Monitor, 请更新探针]"},
        VersionCase{"Tarvo1.21", "S", "Error[Monitor的版本低于探针127.0.0.1, 请更新Monitor]"},
        VersionCase{"Tarvo1.19", "C", "Error[Monitor的版本低于探针127.0.0.1, 请更新Monitor]"},
        VersionCase{"Tarvo2", "C", "Error[探针127.0.0.1的版本低于Monitor, 请更新探针]"}));

TEST_F(ProcessReceived, OtherOrientationsAreNotVersionChecked)
{
    EXPECT_GT(process(agentMessage("-1", std::make_unique<BeatMessageBody>(), "Tarvo0", "X")), 0);
    EXPECT_EQ(field(*window, "127.0.0.1", "Connection"), "已连接");
}

TEST_F(ProcessReceived, BadTrailerIsReportedWithTheUnreadBytes)
{
    std::string bad = beat();
    bad.replace(bad.size() - 7, 2, "98");
    const std::string rest = bad + "tail";
    EXPECT_EQ(process(rest), 0);
    EXPECT_TRUE(listed(*window, "Error[探针127.0.0.1消息解析错误]" + rest));
    EXPECT_EQ(field(*window, "127.0.0.1", "Connection"), "已断开");
}

TEST_F(ProcessReceived, ChecksumErrorClosesAndTheNextConnectionStartsClean)
{
    std::string bad = statusAnswer("0");
    bad[bad.size() - 2] = bad[bad.size() - 2] == '0' ? '1' : '0';
    ScriptedAgentSocket::receive(*script, beat() + bad + beat());
    EXPECT_TRUE(logged("Beat message received from 127.0.0.1"));
    EXPECT_TRUE(logged("exception from 127.0.0.1: Check sum error"));
    EXPECT_EQ(field(*window, "127.0.0.1", "Connection"), "已断开");
    EXPECT_EQ(connection().getPending(), "");
    // The reason stands in the error list just before the disconnect.
    const auto &lines = window->errorList().lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2],
              kStamp + "Error[探针127.0.0.1消息无法解析: Check sum error, 断开连接]");
    EXPECT_EQ(lines.back(), kStamp + "报盘机[Ip:127.0.0.1]断开连接");

    now += 3000;
    ASSERT_TRUE(window->hostTable().locate("ChannelIP", "127.0.0.1"));
    window->agentLinks().registry().connectCurrentHost();
    EXPECT_EQ(script->opens.size(), 2u);
    ScriptedAgentSocket::connect(*script);
    answer(*script, {pbu(OES_NAME_A, "A0000000001")});
    EXPECT_EQ(field(*window, "127.0.0.1", "OESStatusA"), "运行");
    EXPECT_EQ(pbuRows(*window, "127.0.0.1"), 1);
}

TEST_F(ProcessReceived, OverLongMessageIsReportedOnceAndTheBufferDropped)
{
    answer(*script, {pbu(OES_NAME_A, "A0000000001")});
    const std::string huge =
        agentMessage("-1", test::logBody("E 1 " + std::string(21000, 'x') + "\x02"));
    // The header alone tells that the message would end beyond byte 20480.
    ScriptedAgentSocket::receive(*script, huge.substr(0, 39));
    const auto lines = window->errorList().lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), kStamp + "Error[探针127.0.0.1消息过长]"), 1);
    EXPECT_TRUE(listed(*window, "开始断开127.0.0.1"));
    EXPECT_EQ(field(*window, "127.0.0.1", "Connection"), "已断开");
    EXPECT_EQ(field(*window, "127.0.0.1", "CpuUsage"), "");
    EXPECT_EQ(window->hostPool().find("127.0.0.1")->getHostStatus(), "停止");
    EXPECT_EQ(connection().getPending(), "");
    EXPECT_EQ(process(huge), AgentConnectionOwner::kDiscardAll);
}

// Bytes that can never make an acceptable message are not kept beyond the longest one: the
// agent is reported and closed as soon as they run past it, however they arrive.
struct EndlessBytesCase
{
    const char *name;
    std::string prefix;  // what comes first
    char filler;         // then this byte, without end
};

class EndlessBytes : public ProcessReceived, public ::testing::WithParamInterface<EndlessBytesCase>
{
};

TEST_P(EndlessBytes, AreDroppedOnceTheyRunPastTheLongestMessage)
{
    std::string bytes = GetParam().prefix;
    bytes.resize(AgentMessages::kLongestMessage, GetParam().filler);
    for (size_t at = 0; at < bytes.size(); at += 4000)
        ScriptedAgentSocket::receive(*script, std::string_view(bytes).substr(at, 4000));
    // At the longest message the bytes may still become one.
    EXPECT_EQ(connection().getPending().size(), AgentMessages::kLongestMessage);
    EXPECT_EQ(field(*window, "127.0.0.1", "Connection"), "已连接");
    ScriptedAgentSocket::receive(*script, std::string(1, GetParam().filler));
    const auto lines = window->errorList().lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), kStamp + "Error[探针127.0.0.1消息过长]"), 1);
    EXPECT_EQ(field(*window, "127.0.0.1", "Connection"), "已断开");
    EXPECT_EQ(connection().getPending(), "");
    EXPECT_FALSE(connection().isOpen());
}

INSTANTIATE_TEST_SUITE_P(
    ProcessReceived, EndlessBytes,
    ::testing::Values(
        EndlessBytesCase{"NoHeader", "\x9f\x03garbage", 'z'},
        EndlessBytesCase{"UnendedVersionField", "00=", 'T'},
        EndlessBytesCase{"UnendedSequenceField", "00=Tarvo1.20\x01" "01=S\x01" "04=13\x01" "12=",
                         '7'}),
    [](const auto &info) { return std::string(info.param.name); });

// A connection that drops inside an answer, cut at every byte: what it left is not glued to
// the next connection's bytes, which are decoded whole.
TEST_F(ProcessReceived, ConnectionCutAtEveryByteOfAnAnswerLeavesTheNextOneWhole)
{
    const std::string whole = statusAnswer("0", "77");
    for (size_t cut = 1; cut < whole.size(); ++cut) {
        ScriptedAgentSocket::receive(*script, whole.substr(0, cut));
        ASSERT_EQ(connection().getPending().size(), cut);
        ScriptedAgentSocket::peerClose(*script);
        ASSERT_EQ(connection().getPending(), "") << cut;
        ASSERT_EQ(field(*window, "127.0.0.1", "Connection"), "已断开");
        now += 3000;
        window->agentLinks().registry().connectHosts(false);
        ScriptedAgentSocket::connect(*script);
        ASSERT_EQ(field(*window, "127.0.0.1", "Connection"), "已连接") << cut;
    }
    ScriptedAgentSocket::receive(*script, statusAnswer(lastSequence(*script), "77"));
    EXPECT_EQ(connection().getPending(), "");
    ASSERT_TRUE(window->pbuTable().locate("PbuIden", OES_NAME_A + "A0000000001" + "127.0.0.1"));
    EXPECT_EQ(window->pbuTable().value("Submitted"), "77");
    EXPECT_FALSE(listed(*window, "Error[探针127.0.0.1消息过长]"));
}

TEST_F(ProcessReceived, MessageEndingAtTheLimitIsStillAccepted)
{
    // Header (33 bytes with a five-digit length) + body = trailer position 20480.
    const std::string header = "00=Tarvo1.20\x01" "01=S\x01" "04=13\x01" "12=-1\x01" "15=";
    const size_t bodyLength = 20480 - 1 - (header.size() + 6);
    const std::string body = "82=" + std::string(bodyLength - 4, 'x') + "\x01";
    std::string text = header + std::to_string(bodyLength) + "\x01" + body;
    text += "99=" + Message::checkSumOf(text) + "\x01";
    ASSERT_EQ(Message().decode(text), 20480);
    EXPECT_EQ(process(text), int(text.size()));
    EXPECT_FALSE(listed(*window, "Error[探针127.0.0.1消息过长]"));
}

TEST_F(ProcessReceived, AnswersOutOfOrderAndUnmatchedSequences)
{
    answer(*script, {});
    window->TimerUpdateTimer();
    window->TimerUpdateTimer();
    window->TimerUpdateTimer();  // requests 1, 2 and 3 wait
    ASSERT_EQ(window->commandPoolSize(), 3u);
    process(statusAnswer("2", "22"));
    process(statusAnswer("1", "11"));
    EXPECT_EQ(window->commandPoolSize(), 1u);
    RecordSet &pbus = window->pbuTable();
    ASSERT_TRUE(pbus.locate("PbuIden", OES_NAME_A + "A0000000001" + "127.0.0.1"));
    EXPECT_EQ(pbus.value("Submitted"), "11");  // each answer is applied as it comes
    process(statusAnswer("9"));                // matches nothing: drops the older waiting ones
    EXPECT_EQ(window->commandPoolSize(), 0u);
    process(statusAnswer("x"));                // no number: nothing happens
}

TEST_F(ProcessReceived, AnAgentThatNeverAnswersOwesAtMostTheLatestRequests)
{
    for (int poll = 0; poll < 300; ++poll) {
        window->TimerUpdateTimer();
        process(beat());  // alive, but no answer
    }
    // 301 requests (the first at connecting): the latest 64 still wait, the second host none.
    EXPECT_EQ(window->commandPoolSize(), size_t(AgentPoller::kMostWaitingAnswers));
    EXPECT_EQ(window->commandPoolSize(), 64u);
    ASSERT_EQ(lastSequence(*script), "300");
    process(statusAnswer("237", "37"));  // the oldest one kept
    process(statusAnswer("236", "36"));  // given up: matches nothing
    ASSERT_TRUE(window->pbuTable().locate("PbuIden", OES_NAME_A + "A0000000001" + "127.0.0.1"));
    EXPECT_EQ(window->pbuTable().value("Submitted"), "37");
}

TEST_F(ProcessReceived, ErrorInOneAnswerLeavesTheNextMessageHandled)
{
    answer(*script, {});
    window->TimerUpdateTimer();
    const std::string broken = agentMessage(
        "1", std::make_unique<StatusResponseMessageBody>("正常运行", "t", "1", "2", "3", "00",
                                                         "31=Y\x01", ""));
    EXPECT_EQ(process(broken + beat()), int(broken.size() + beat().size()));
    bool loggedError = false;
    for (const std::string &line : logLines())
        loggedError |= line.rfind(kStamp + "exception from 127.0.0.1: ", 0) == 0;
    EXPECT_TRUE(loggedError);
    EXPECT_TRUE(logged("Beat message received from 127.0.0.1"));
    EXPECT_EQ(window->commandPoolSize(), 1u);  // the failed command waits for a purge
}

TEST_F(ProcessReceived, LogRecordsGoToTheErrorListAndTheHostsSysLogFile)
{
    window->actions().find("记录所有收发消息")->trigger();  // debug logging on
    process(agentMessage("-1", test::logBody("E 7 disk full\x02W 08 cpu high  \x02ignored")));
    const std::string first = kStamp + "[127.0.0.1 E 7]disk full";
    const std::string second = kStamp + "[127.0.0.1 W 8]cpu high  ";
    const auto &lines = window->errorList().lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], first);
    EXPECT_EQ(lines.back(), kStamp + "[127.0.0.1 W 8]cpu high");  // trimmed on screen only
    EXPECT_EQ(test::readFile(dir.file("logs/SysLog_127.0.0.1_2009-06-01.log")), first + second);
    EXPECT_TRUE(logged("Syslog message received from 127.0.0.1"));
    EXPECT_FALSE(logged(first));  // not in the console log
}

TEST_F(ProcessReceived, LogRecordWithoutANumberStopsTheRecordsAfterIt)
{
    process(agentMessage("-1", test::logBody("E 1 one\x02" "E x two\x02" "E 3 three\x02")));
    EXPECT_EQ(test::readFile(dir.file("logs/SysLog_127.0.0.1_2009-06-01.log")),
              kStamp + "[127.0.0.1 E 1]one");
    EXPECT_TRUE(logged("Exception from 127.0.0.1: 'x' is not a valid integer value"));
}

TEST_F(ProcessReceived, LogMessageFromAnAddressWithoutAConnectionWritesNothing)
{
    window->agentLinks().processReceived("127.0.0.9",
                                         agentMessage("-1", test::logBody("E 1 lost\x02")));
    EXPECT_FALSE(test::fileExists(dir.file("logs/SysLog_127.0.0.9_2009-06-01.log")));
    EXPECT_EQ(window->errorList().lines().back().find("lost"), std::string::npos);
}

TEST_F(ProcessReceived, UnopenableSysLogFileIsReported)
{
    // A directory where the file should be cannot be opened for appending.
    std::filesystem::create_directories(dir.file("logs/SysLog_127.0.0.1_2009-06-01.log"));
    process(agentMessage("-1", test::logBody("E 1 one\x02")));
    EXPECT_TRUE(listed(*window, "无法打开系统日志文件"));
    EXPECT_TRUE(listed(*window, "[127.0.0.1 E 1]one"));
}

} // namespace
} // namespace tarvo
