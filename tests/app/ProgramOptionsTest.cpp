// The command line of TarvoMonitor.
#include "app/ProgramOptions.h"

#include <gtest/gtest.h>

namespace tarvo {
namespace {

TEST(ProgramOptionsTest, ReadsEveryOption)
{
    const auto o = parseProgramOptions({"--dir", "/srv/demo", "--ini=/etc/t.ini", "--headless",
                                        "--instance", "demo"});
    EXPECT_EQ(o.error, "");
    EXPECT_EQ(o.directory, "/srv/demo");
    EXPECT_EQ(o.iniPath, "/etc/t.ini");
    EXPECT_EQ(o.instanceName, "demo");
    EXPECT_TRUE(o.headless);
    EXPECT_TRUE(parseProgramOptions({"--help"}).help);
    EXPECT_TRUE(parseProgramOptions({"--version"}).version);
}

TEST(ProgramOptionsTest, WrongCommandLinesAreExplained)
{
    EXPECT_EQ(parseProgramOptions({"--dir"}).error, "missing value for --dir");
    EXPECT_EQ(parseProgramOptions({"--bogus"}).error, "unknown option --bogus");
    EXPECT_EQ(parseProgramOptions({"--ini="}).error, "empty value for --ini");
    EXPECT_EQ(parseProgramOptions({"--timeout", "0"}).error,
              "--timeout takes a number of seconds from 1 to 3600, not 0");
    EXPECT_EQ(parseProgramOptions({"--timeout=5s"}).error,
              "--timeout takes a number of seconds from 1 to 3600, not 5s");
}

TEST(ProgramOptionsTest, OnceRunsHeadlessWithItsTimeoutAndMetricsTakeAnAddress)
{
    const auto o = parseProgramOptions({"--once", "--timeout", "3", "--metrics", "127.0.0.1:9464"});
    EXPECT_EQ(o.error, "");
    EXPECT_TRUE(o.once);
    EXPECT_TRUE(o.headless);
    EXPECT_EQ(o.onceSeconds, 3);
    EXPECT_EQ(o.metrics, "127.0.0.1:9464");
    EXPECT_EQ(parseProgramOptions({}).onceSeconds, 10);
}

// Headless reconnects by itself within 30 s unless told otherwise; the window only when told.
TEST(ProgramOptionsTest, TheReconnectBoundDependsOnTheModeAndTheAlarmCommandIsKept)
{
    const std::pair<std::vector<std::string>, int> cases[] = {
        {{"--headless"}, 30}, {{}, 0}, {{"--reconnect", "12"}, 12},
        {{"--headless", "--reconnect=0"}, 0}, {{"--once"}, 0}};
    for (const auto &[arguments, seconds] : cases)
        EXPECT_EQ(reconnectBoundSeconds(parseProgramOptions(arguments)), seconds) << arguments.size();
    EXPECT_EQ(parseProgramOptions({"--reconnect", "-1"}).error,
              "--reconnect takes a number of seconds from 0 to 3600, not -1");
    EXPECT_EQ(parseProgramOptions({"--on-alarm", "/usr/bin/page ops"}).onAlarm, "/usr/bin/page ops");
}

} // namespace
} // namespace tarvo
