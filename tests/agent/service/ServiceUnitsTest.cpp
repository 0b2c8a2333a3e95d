// The agent service's small units: peer addresses and ACCESS_CONTROL, connection timers,
// log lines and records, the program watch and the command line.
#include "agent/service/AccessControl.h"
#include "agent/service/ServiceLog.h"
#include "agent/service/ServiceOptions.h"
#include "agent/service/ServiceTimings.h"
#include "TestSupport.h"

#include "platform/Socket.h"

#include <gtest/gtest.h>

namespace tarvo {
namespace {

using namespace std::chrono_literals;

TEST(AccessControl, PeerAddressesAreDottedIpv4EvenWhenMappedIntoIpv6)
{
    EXPECT_EQ(ipAddressText(std::string("\x0a\x01\x02\x03", 4)), "10.1.2.3");
    EXPECT_EQ(ipAddressText(std::string(10, '\0') + "\xff\xff\xc0\xa8\x01\x0a"), "192.168.1.10");
    EXPECT_EQ(ipAddressText(std::string(15, '\0') + "\x01"), "::1");
    EXPECT_EQ(ipAddressText("abc"), "unknown");
}

TEST(AccessControl, OnlyListedAddressesAreAcceptedAndAnEmptyListAcceptsNobody)
{
    EXPECT_FALSE(isAllowed({}, "8.8.8.8"));
    EXPECT_FALSE(isAllowed({}, "127.0.0.1"));
    const std::vector<std::string> list = {"127.0.0.2", "192.168.1.10"};
    EXPECT_TRUE(isAllowed(list, "192.168.1.10"));
    EXPECT_FALSE(isAllowed(list, "127.0.0.1"));
    EXPECT_FALSE(isAllowed(list, "192.168.1.1"));
    EXPECT_EQ(describeAllowed(list), "127.0.0.2, 192.168.1.10");
    EXPECT_EQ(describeAllowed({}), "(none)");
}

TEST(ConnectionTimer, HeartbeatFallsDueAfterSilenceAndEverySendPostponesIt)
{
    ServiceTimings timings;
    const auto start = ServiceClock::time_point(1h);
    ConnectionTimer timer(timings, start);
    EXPECT_FALSE(timer.heartbeatDue(start + 4999ms));
    EXPECT_EQ(timer.waitFor(start + 4000ms, false), 1000ms);
    EXPECT_TRUE(timer.heartbeatDue(start + 5000ms));
    timer.sent(start + 4000ms);
    EXPECT_FALSE(timer.heartbeatDue(start + 8999ms));
    EXPECT_TRUE(timer.heartbeatDue(start + 9000ms));
    // Receiving is not sending: a chatty client still gets heartbeats.
    timer.active(start + 8500ms);
    EXPECT_TRUE(timer.heartbeatDue(start + 9000ms));
    EXPECT_EQ(timer.waitFor(start + 9500ms, false), 0ms);
}

TEST(ConnectionTimer, IncompleteMessageExpiresFromItsFirstByteHoweverItTrickles)
{
    ServiceTimings timings;
    timings.heartbeat = 5s;
    timings.incompleteTimeout = 60s;
    timings.idleTimeout = 1000s;
    const auto start = ServiceClock::time_point(1h);
    ConnectionTimer timer(timings, start);
    timer.messageStarted(start + 10s);
    // Bytes arriving meanwhile do not move the deadline.
    timer.sent(start + 65s);
    EXPECT_FALSE(timer.incompleteExpired(start + 69s, true));
    EXPECT_TRUE(timer.incompleteExpired(start + 70s, true));
    EXPECT_FALSE(timer.incompleteExpired(start + 700s, false));
    // With a short incomplete limit the reader wakes for it before the heartbeat.
    timings.incompleteTimeout = 2s;
    ConnectionTimer shortLimit(timings, start);
    EXPECT_EQ(shortLimit.waitFor(start + 500ms, true), 1500ms);
    EXPECT_EQ(shortLimit.waitFor(start + 500ms, false), 4500ms);
}

TEST(ConnectionTimer, IdleLimitCountsFromAcceptanceAndFromTheLastWholeMessage)
{
    ServiceTimings timings;
    timings.heartbeat = 5s;
    timings.idleTimeout = 30s;
    const auto start = ServiceClock::time_point(1h);
    ConnectionTimer timer(timings, start);
    // Heartbeats sent to the client keep nothing alive.
    timer.sent(start + 29s);
    EXPECT_FALSE(timer.idleExpired(start + 29999ms));
    EXPECT_TRUE(timer.idleExpired(start + 30s));
    timer.active(start + 28s);
    EXPECT_FALSE(timer.idleExpired(start + 57s));
    EXPECT_TRUE(timer.idleExpired(start + 58s));
    // The reader wakes for whichever falls due first.
    timings.heartbeat = 100s;
    ConnectionTimer quiet(timings, start);
    EXPECT_EQ(quiet.waitFor(start + 10s, false), 20s);
    // Past its idle limit with requests waiting for the worker: not due, it waits for the
    // heartbeat (rather than waking at once, again and again).
    EXPECT_EQ(quiet.waitFor(start + 40s, false, false), 60s);
    // Only what the client sends makes it less quiet; an answer to it does not.
    quiet.active(start + 40s);
    EXPECT_EQ(quiet.quietFor(start + 50s), 50s);
    quiet.heard(start + 45s);
    EXPECT_EQ(quiet.quietFor(start + 50s), 5s);
}

TEST(ServiceLog, LineHasTheTimeStampLevelAndCrLf)
{
    LocalTime time{2009, 10, 3, 4, 5, 6};
    EXPECT_EQ(formatLogLine(time, AgentLog::Level::Warning, "A股报盘程序 stopped"),
              "2009-10-03 04:05:06 WARN A股报盘程序 stopped\r\n");
}

TEST(ServiceLog, RecordEndsInTwoAndKeepsSeparatorsOutOfTheText)
{
    EXPECT_EQ(formatLogRecord(AgentLog::Level::Info, 1, "A股报盘程序 started"),
              "INFO 1 A股报盘程序 started\x02");
    // A control byte inside the text would end the record or the field early.
    EXPECT_EQ(formatLogRecord(AgentLog::Level::Error, 12, "bad\x01text\x02here"),
              "ERROR 12 bad text here\x02");
}

TEST(ServiceLog, WritesLinesToTheFileAndDebugOnlyWhenSwitchedOn)
{
    test::TempDir dir;
    const std::string path = dir / "agent.log";
    ServiceLog log([] { return LocalTime{2024, 1, 2, 3, 4, 5}; });
    ASSERT_TRUE(log.open(path));
    log.write(AgentLog::Level::Info, "one");
    log.write(AgentLog::Level::Debug, "hidden");
    log.setDebug(true);
    log.write(AgentLog::Level::Debug, "two");
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(text, "2024-01-02 03:04:05 INFO one\r\n2024-01-02 03:04:05 DEBUG two\r\n");
}

TEST(ProgramWatcher, ReportsStartsAndStopsOfWatchedProgramsAfterTheBaseline)
{
    ProgramWatcher watcher;
    const std::string a = "A股报盘程序", b = "B股报盘程序";
    EXPECT_TRUE(watcher.update({{a, true, true}, {b, false, false}}).empty());
    EXPECT_TRUE(watcher.update({{a, true, true}, {b, false, true}}).empty());

    std::vector<LogEvent> stop = watcher.update({{a, true, false}, {b, false, false}});
    ASSERT_EQ(stop.size(), 1u);
    EXPECT_EQ(stop[0].level, AgentLog::Level::Warning);
    EXPECT_EQ(stop[0].text, a + " stopped");

    std::vector<LogEvent> start = watcher.update({{a, true, true}, {b, false, false}});
    ASSERT_EQ(start.size(), 1u);
    EXPECT_EQ(start[0].level, AgentLog::Level::Info);
    EXPECT_EQ(start[0].text, a + " started");
}

TEST(ServiceOptions, ReadsEveryOptionAndTheHiddenTimings)
{
    ServiceOptions options;
    EXPECT_EQ(parseServiceOptions({"--dir", "/opt/t", "--ini", "a.ini", "--bind", "127.0.0.3",
                                   "--port", "0", "--verbose", "--heartbeat-ms", "50",
                                   "--incomplete-timeout-ms", "200", "--watch-ms", "30"},
                                  options),
              "");
    EXPECT_EQ(options.dir, "/opt/t");
    EXPECT_EQ(options.ini, "a.ini");
    EXPECT_EQ(options.bind, "127.0.0.3");
    EXPECT_EQ(options.port, 0);
    EXPECT_TRUE(options.verbose);
    EXPECT_EQ(options.timings.heartbeat, 50ms);
    EXPECT_EQ(options.timings.incompleteTimeout, 200ms);
    EXPECT_EQ(options.timings.watch, 30ms);
    EXPECT_FALSE(options.checkConfig);
}

TEST(ServiceOptions, RefusesWhatItCannotUse)
{
    struct Case
    {
        std::vector<std::string> args;
        std::string error;
    };
    for (const Case &c : std::vector<Case>{
             {{"--port", "70000"}, "--port needs a number from 0 to 65535, not '70000'"},
             {{"--port"}, "--port needs a value"},
             {{"--heartbeat-ms", "0"}, "--heartbeat-ms needs a number of milliseconds, not '0'"},
             {{"--dir"}, "--dir needs a value"},
             {{"--frobnicate"}, "unknown option --frobnicate (see --help)"}}) {
        ServiceOptions options;
        EXPECT_EQ(parseServiceOptions(c.args, options), c.error);
    }
}

} // namespace
} // namespace tarvo
