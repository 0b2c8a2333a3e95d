// The rules that keep hostile clients from crowding out the console: client slots, clipped
// log texts, the refusal log's rate limit, and the command line that sets the limits.
#include "agent/service/ConnectionLimits.h"
#include "agent/service/ServiceOptions.h"

#include <gtest/gtest.h>

namespace tarvo {
namespace {

using namespace std::chrono_literals;

TEST(ClipForLog, ShortTextsStayAndLongOnesAreCutWithTheirLength)
{
    EXPECT_EQ(clipForLog("AgentVersion"), "AgentVersion");
    EXPECT_EQ(clipForLog(std::string(300, 'x')), std::string(300, 'x'));
    EXPECT_EQ(clipForLog(std::string(20000, 'x')), std::string(300, 'x') + "... (20000 bytes)");
    EXPECT_EQ(clipForLog("abcdef", 4), "abcd... (6 bytes)");
}

TEST(ClipForLog, ControlBytesCannotForgeLinesAndGbkCharactersAreNotSplit)
{
    EXPECT_EQ(clipForLog("a\r\n2009-10-03 INFO forged\x01\x7F"), "a??2009-10-03 INFO forged??");
    // "运行" is D4 CB D0 D0: a cut at 3 bytes keeps only the whole first character.
    EXPECT_EQ(clipForLog("运行", 3), "运... (4 bytes)");
    EXPECT_EQ(clipForLog("运行", 4), "运行");
    // A GB18030 four-byte character (81 30 81 30) stays whole or goes whole.
    EXPECT_EQ(clipForLog("a\x81\x30\x81\x30z", 4), "a... (6 bytes)");
    EXPECT_EQ(clipForLog("a\x81\x30\x81\x30z", 5), "a\x81\x30\x81\x30... (6 bytes)");
}

struct AdmissionCase
{
    const char *name;
    std::vector<OpenConnection> open;
    std::string peer;
    Admission::Kind kind;
    int victim;
    std::string why;
    std::string refusal;
};

class AdmissionRules : public ::testing::TestWithParam<AdmissionCase>
{
};

TEST_P(AdmissionRules, DecideFromSlotsAddressesAndWhoHasSpoken)
{
    ServiceTimings limits;
    limits.maxClients = 3;
    limits.maxClientsPerAddress = 2;
    const AdmissionCase &c = GetParam();
    Admission admission = decideAdmission(c.open, c.peer, limits);
    EXPECT_EQ(admission.kind, c.kind);
    EXPECT_EQ(admission.victim, c.victim);
    EXPECT_EQ(admission.why, c.why);
    EXPECT_EQ(admission.refusal, c.refusal);
}

INSTANTIATE_TEST_SUITE_P(
    Slots, AdmissionRules,
    ::testing::Values(
        AdmissionCase{
            "FreeSlot", {{1, "10.0.0.1", false}}, "10.0.0.2", Admission::Kind::Admit, 0, "", ""},
        AdmissionCase{"AddressFullOfSpeakers",
                      {{1, "10.0.0.1", true}, {2, "10.0.0.1", true}},
                      "10.0.0.1",
                      Admission::Kind::Refuse,
                      0,
                      "",
                      "too many connections from this address (2)"},
        // Its own address's silent connection gives way, never another address's.
        AdmissionCase{"AddressFullWithASilentOne",
                      {{1, "10.0.0.2", false}, {2, "10.0.0.1", true}, {3, "10.0.0.1", false}},
                      "10.0.0.1",
                      Admission::Kind::Displace,
                      3,
                      "its address holds 2 connections",
                      ""},
        AdmissionCase{"OldestSilentGivesWay",
                      {{4, "10.0.0.1", true}, {7, "10.0.0.2", false}, {5, "10.0.0.3", false}},
                      "10.0.0.4",
                      Admission::Kind::Displace,
                      5,
                      "every client slot is taken",
                      ""},
        AdmissionCase{"SpokenAreNeverDisplaced",
                      {{1, "10.0.0.1", true}, {2, "10.0.0.2", true}, {3, "10.0.0.3", true}},
                      "10.0.0.4",
                      Admission::Kind::Refuse,
                      0,
                      "",
                      "too many clients (3)"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(RefusalLog, OneLinePerAddressAndIntervalThenTheCount)
{
    RefusalLog refusals(60s);
    const auto start = ServiceClock::time_point(1h);
    EXPECT_EQ(refusals.refused("10.0.0.9", "not in ACCESS_CONTROL (allowed: 10.0.0.1)", start),
              "refused a connection from 10.0.0.9: not in ACCESS_CONTROL (allowed: 10.0.0.1)");
    for (int i = 1; i <= 199; ++i)
        EXPECT_EQ(refusals.refused("10.0.0.9", "x", start + std::chrono::milliseconds(i)),
                  std::nullopt);
    // Another address has its own line.
    EXPECT_EQ(refusals.refused("10.0.0.8", "y", start + 1s),
              "refused a connection from 10.0.0.8: y");
    EXPECT_TRUE(refusals.due(start + 59s).empty());
    EXPECT_EQ(refusals.due(start + 60s),
              std::vector<std::string>{
                  "refused 199 more connections from 10.0.0.9 (not logged one by one)"});
    // The address without suppressed refusals is forgotten silently, and after the count
    // the next refusal is logged again.
    EXPECT_TRUE(refusals.due(start + 61s).empty());
    EXPECT_EQ(refusals.refused("10.0.0.9", "x", start + 62s),
              "refused a connection from 10.0.0.9: x");
}

TEST(RefusalLog, CountCarriedIntoTheNextLineAndManyAddressesShareOneEntry)
{
    RefusalLog refusals(10s);
    const auto start = ServiceClock::time_point(1h);
    ASSERT_TRUE(refusals.refused("10.0.0.9", "x", start));
    EXPECT_FALSE(refusals.refused("10.0.0.9", "x", start + 1s));
    EXPECT_EQ(
        refusals.refused("10.0.0.9", "x", start + 10s),
        "refused a connection from 10.0.0.9: x (and 1 more since the last line from 10.0.0.9)");

    RefusalLog many(10s);
    int logged = 0;
    for (size_t i = 0; i < RefusalLog::MAX_ADDRESSES + 500; ++i)
        logged += many.refused("10.1." + std::to_string(i / 256) + "." + std::to_string(i % 256),
                               "x", start)
                      ? 1
                      : 0;
    EXPECT_EQ(logged, int(RefusalLog::MAX_ADDRESSES) + 1);
    EXPECT_EQ(many.due(start + 10s).back(),
              "refused 499 more connections from other addresses (not logged one by one)");
}

TEST(ServiceOptions, ReadsTheHiddenClientLimits)
{
    ServiceOptions options;
    EXPECT_EQ(parseServiceOptions({"--idle-timeout-ms", "300", "--refusal-log-interval-ms", "40",
                                   "--send-timeout-ms", "250", "--max-queued-bytes", "4096",
                                   "--max-clients", "5", "--max-clients-per-address", "2"},
                                  options),
              "");
    EXPECT_EQ(options.timings.idleTimeout, 300ms);
    EXPECT_EQ(options.timings.refusalLogInterval, 40ms);
    EXPECT_EQ(options.timings.sendTimeout, 250ms);
    EXPECT_EQ(options.timings.maxQueuedBytes, 4096u);
    EXPECT_EQ(options.timings.maxClients, 5u);
    EXPECT_EQ(options.timings.maxClientsPerAddress, 2u);
    EXPECT_EQ(parseServiceOptions({"--max-clients", "0"}, options),
              "--max-clients needs a positive number, not '0'");
    EXPECT_EQ(parseServiceOptions({"--max-queued-bytes"}, options),
              "--max-queued-bytes needs a positive number, not ''");
}

TEST(ServiceTimings, DefaultsLeaveARealConsoleAlone)
{
    // The console sends at least every six seconds and reads at once; one connection each.
    const ServiceTimings defaults;
    EXPECT_GE(defaults.idleTimeout, 60s);
    EXPECT_GE(defaults.incompleteTimeout, 60s);
    EXPECT_GE(defaults.sendTimeout, 10s);
    EXPECT_GE(defaults.maxQueuedBytes, 20u * 20480);
    EXPECT_EQ(defaults.maxClients, 64u);
    EXPECT_GE(defaults.maxClientsPerAddress, 4u);
}

} // namespace
} // namespace tarvo
