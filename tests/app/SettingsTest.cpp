// Settings file values, the polling period range and the settings path.
#include "app/Settings.h"
#include "platform/IniFile.h"

#include <gtest/gtest.h>

namespace tarvo {
namespace {

struct IntervalCase
{
    const char *ini;
    int seconds;
};

class IntervalTest : public ::testing::TestWithParam<IntervalCase>
{
};

TEST_P(IntervalTest, ReadsTimeOrFallsBackToFive)
{
    const auto settings = readSettings(IniFile::parse(GetParam().ini));
    EXPECT_EQ(settings.intervalSeconds, GetParam().seconds) << GetParam().ini;
}

INSTANTIATE_TEST_SUITE_P(
    Values, IntervalTest,
    ::testing::Values(IntervalCase{"", 5}, IntervalCase{"[Interval]\nTime=0\n", 5},
                      IntervalCase{"[Interval]\nTime=-3\n", 5},
                      IntervalCase{"[Interval]\nTime=61\n", 5},
                      IntervalCase{"[Interval]\nTime=abc\n", 5},
                      IntervalCase{"[Interval]\nTime=12abc\n", 5},
                      IntervalCase{"[Interval]\nTime=\n", 5},
                      IntervalCase{"[Interval]\nTime=1\n", 1},
                      IntervalCase{"[Interval]\nTime=60\n", 60},
                      IntervalCase{"[interval]\r\ntime=10\r\n", 10}));

TEST(SettingsTest, PeriodCoversTwoHundredMillisecondsAroundTheInterval)
{
    EXPECT_EQ(updatePeriodMs(5, 0), 4900);
    EXPECT_EQ(updatePeriodMs(5, 199), 5099);
    EXPECT_EQ(updatePeriodMs(5, 200), 4900);
    EXPECT_EQ(updatePeriodMs(60, 0), 59900);
    EXPECT_EQ(updatePeriodMs(60, 4294967295u), 59900 + 4294967295u % 200);
    EXPECT_EQ(updatePeriodMs(1, 0), 900);
    EXPECT_EQ(updatePeriodMs(1, 399), 1099);
}

TEST(SettingsTest, DebugIsOnOnlyForTheWordOnInAnyCase)
{
    const std::pair<const char *, bool> cases[] = {
        {"", false},          {"[Log]\nDebug=on\n", true}, {"[LOG]\ndebug=On\n", true},
        {"[Log]\nDebug=ON\n", true}, {"[Log]\nDebug=1\n", false}, {"[Log]\nDebug=TRUE\n", false},
        {"[Log]\nDebug=onn\n", false}, {"[Log]\nDebug=OFF\n", false}};
    for (const auto &[ini, on] : cases)
        EXPECT_EQ(readSettings(IniFile::parse(ini)).debugLogging, on) << ini;
    EXPECT_EQ(readSettings(IniFile::parse("")).debugText, "OFF");
    EXPECT_EQ(readSettings(IniFile::parse("[Log]\nDebug=on\n")).debugText, "on");
}

TEST(SettingsTest, SettingsFileSitsNextToTheExecutable)
{
    EXPECT_EQ(settingsPathFor("/opt/tarvo/TarvoMonitor"), "/opt/tarvo/TarvoMonitor.ini");
    EXPECT_EQ(settingsPathFor("/opt/tarvo/TarvoMonitor.exe"), "/opt/tarvo/TarvoMonitor.ini");
    EXPECT_EQ(settingsPathFor("/opt/tarvo.d/TarvoMonitor"), "/opt/tarvo.d/TarvoMonitor.ini");
    EXPECT_EQ(settingsPathFor("/opt/.hidden"), "/opt/.hidden.ini");
}

} // namespace
} // namespace tarvo
