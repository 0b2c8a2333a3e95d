// The rules that keep hostile clients from crowding out the console: client slots, the
// order and rate of request execution, the refusal log's rate limit, and the command line
// that sets the limits.
#include "agent/service/ConnectionLimits.h"
#include "agent/service/RequestScheduler.h"
#include "agent/service/ServiceOptions.h"

#include <gtest/gtest.h>

namespace tarvo {
namespace {

using namespace std::chrono_literals;

// `victim` 0 and an empty `text`: admitted; `victim` 0: refused for `text`; else `victim` is
// displaced for `text`, followed by ": its slot goes to a new connection from " + peer.
struct AdmissionCase
{
    const char *name;
    std::vector<OpenConnection> open; // id, peer, spoken, quiet for, requests waiting
    std::string peer;
    int victim;
    std::string text;
};

class AdmissionRules : public ::testing::TestWithParam<AdmissionCase>
{
};

TEST_P(AdmissionRules, DecideFromSlotsAddressesAndHowLongEachHasBeenQuiet)
{
    ServiceTimings limits;
    limits.maxClients = 3;
    limits.maxClientsPerAddress = 2;
    const AdmissionCase &c = GetParam();
    Admission admission = decideAdmission(c.open, c.peer, limits);
    EXPECT_EQ(admission.kind, c.victim   ? Admission::Kind::Displace
                              : c.text.empty() ? Admission::Kind::Admit
                                               : Admission::Kind::Refuse);
    EXPECT_EQ(admission.victim, c.victim);
    EXPECT_EQ(admission.why,
              c.victim ? c.text + ": its slot goes to a new connection from " + c.peer : "");
    EXPECT_EQ(admission.refusal, c.victim ? "" : c.text);
}

const std::string ALL_TAKEN = "every client slot is taken and it has ";

INSTANTIATE_TEST_SUITE_P(
    Slots, AdmissionRules,
    ::testing::Values(
        AdmissionCase{"FreeSlot", {{1, "10.0.0.1", false}}, "10.0.0.2", 0, ""},
        AdmissionCase{"AddressFullOfSpeakers", {{1, "10.0.0.1", true}, {2, "10.0.0.1", true}},
                      "10.0.0.1", 0, "too many connections from this address (2)"},
        // Its own address's silent connection gives way, never another address's.
        AdmissionCase{"AddressFullWithASilentOne",
                      {{1, "10.0.0.2", false, 9s}, {2, "10.0.0.1", true}, {3, "10.0.0.1", false}},
                      "10.0.0.1", 3,
                      "its address holds 2 connections and it has sent no whole message"},
        AdmissionCase{"OldestSilentGivesWay",
                      {{4, "10.0.0.1", true}, {7, "10.0.0.2", false, 1s},
                       {5, "10.0.0.3", false, 2s}},
                      "10.0.0.4", 5, ALL_TAKEN + "sent no whole message"},
        AdmissionCase{"SpeakersWithinTheQuietLimitStay",
                      {{1, "10.0.0.1", true, 1s}, {2, "10.0.0.2", true, 15s},
                       {3, "10.0.0.3", true}},
                      "10.0.0.4", 0, "too many clients (3)"},
        // Holders that speak once in a while keep no restarting console out.
        AdmissionCase{"QuietestSpeakerGivesWay",
                      {{1, "10.0.0.1", true, 2s}, {2, "10.0.0.2", true, 20s},
                       {3, "10.0.0.3", true, 16s}},
                      "10.0.0.4", 2, ALL_TAKEN + "sent nothing for 20000 ms"},
        AdmissionCase{"QuietSpeakerBeforeANewSilentOne",
                      {{1, "10.0.0.1", false, 10ms}, {2, "10.0.0.2", true, 16s},
                       {3, "10.0.0.3", true}},
                      "10.0.0.4", 2, ALL_TAKEN + "sent nothing for 16000 ms"},
        AdmissionCase{"WaitingForItsAnswersStays",
                      {{1, "10.0.0.1", true, 60s, true}, {2, "10.0.0.2", true},
                       {3, "10.0.0.3", true}},
                      "10.0.0.4", 0, "too many clients (3)"},
        AdmissionCase{"AddressFullOfQuietHolders",
                      {{1, "10.0.0.1", true, 30s}, {2, "10.0.0.1", true, 20s},
                       {3, "10.0.0.2", true, 60s}},
                      "10.0.0.1", 1,
                      "its address holds 2 connections and it has sent nothing for 30000 ms"}),
    [](const auto &info) { return std::string(info.param.name); });

// One step of the scheduler: requests arrive, then the turns at `at` are asked for. Client k
// is a connection from address k / 10: 1 to 9 share one address, 11 to 19 the next, ...
struct SchedulerStep
{
    std::chrono::milliseconds at;
    std::vector<int> arrivals; // one client per request
    int turns;                 // turns asked for
    std::vector<int> expected; // the clients given them, 0 for none
};

struct SchedulerCase
{
    const char *name;
    unsigned perSecond, burst, total;
    std::vector<SchedulerStep> steps;
};

class RequestScheduling : public ::testing::TestWithParam<SchedulerCase>
{
};

TEST_P(RequestScheduling, GivesTurnsWithinTheRatesRoundTheAddressesAndTheirConnections)
{
    const SchedulerCase &c = GetParam();
    RequestScheduler scheduler(c.perSecond, c.burst, c.total);
    const auto start = ServiceClock::time_point(1h);
    for (const SchedulerStep &step : c.steps) {
        SCOPED_TRACE(step.at.count());
        for (int client : step.arrivals)
            scheduler.queued(client, "10.0.0." + std::to_string(client / 10), start + step.at);
        std::vector<int> given;
        for (int i = 0; i < step.turns; ++i)
            given.push_back(scheduler.next(start + step.at).client.value_or(0));
        EXPECT_EQ(given, step.expected);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Turns, RequestScheduling,
    ::testing::Values(
        // A burst, then one more every 1000 / perSecond ms.
        SchedulerCase{"BurstThenRate", 5, 3, 100,
                      {{0ms, {1, 1, 1, 1, 1, 1}, 4, {1, 1, 1, 0}},
                       {199ms, {}, 1, {0}},
                       {200ms, {}, 2, {1, 0}},
                       {600ms, {}, 3, {1, 1, 0}}}},
        // Flooders from two addresses take turns; the console's request, from an address
        // of its own, waits for the one address whose turn came before it asked, however
        // many requests wait.
        SchedulerCase{"ConsoleBeforeFlooders", 100, 100, 1000,
                      {{0ms, {11, 11, 11, 12, 12, 12, 21, 21, 21}, 3, {11, 21, 12}},
                       {10ms, {1}, 3, {21, 1, 11}}}},
        // Flooders on the console's own address: it waits for the connections of its
        // address whose turn came before it asked, and for nobody else.
        SchedulerCase{"ConsoleAmongFloodersOfItsAddress", 100, 100, 1000,
                      {{0ms, {2, 2, 2, 3, 3, 3, 11, 11}, 2, {2, 11}},
                       {10ms, {1}, 5, {3, 11, 2, 1, 3}}}},
        // The total bounds everyone together.
        SchedulerCase{"TotalShared", 100, 100, 4,
                      {{0ms, {2, 2, 2, 13, 13, 13}, 5, {2, 13, 2, 13, 0}},
                       {250ms, {}, 2, {2, 0}}}},
        SchedulerCase{"NothingWaits", 5, 5, 5, {{0ms, {}, 1, {0}}}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(RequestScheduling, SaysWhenTheNextTurnComesAndForgetsAClientThatWent)
{
    RequestScheduler scheduler(4, 1, 100);
    const auto start = ServiceClock::time_point(1h);
    scheduler.queued(1, "10.0.0.1", start);
    scheduler.queued(1, "10.0.0.1", start);
    EXPECT_EQ(scheduler.next(start).client, 1);
    RequestScheduler::Turn turn = scheduler.next(start);
    EXPECT_FALSE(turn.client);
    EXPECT_EQ(turn.retryAt, start + 250ms);
    EXPECT_EQ(scheduler.waiting(1), 1u);
    scheduler.forget(1);
    EXPECT_EQ(scheduler.waiting(1), 0u);
    EXPECT_EQ(scheduler.next(start + 1s).retryAt, std::nullopt);
}

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
                                   "--max-clients", "5", "--max-clients-per-address", "2",
                                   "--displace-quiet-ms", "700", "--requests-per-second", "3",
                                   "--request-burst", "6", "--total-requests-per-second", "9"},
                                  options),
              "");
    EXPECT_EQ(options.timings.displaceQuietAfter, 700ms);
    EXPECT_EQ(options.timings.requestsPerSecond, 3u);
    EXPECT_EQ(options.timings.requestBurst, 6u);
    EXPECT_EQ(options.timings.totalRequestsPerSecond, 9u);
    EXPECT_EQ(parseServiceOptions({"--request-burst", "0"}, options),
              "--request-burst needs a number from 1 to 1000000, not '0'");
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
    EXPECT_GE(defaults.displaceQuietAfter, 12s);
    // A poll and the five checks of a troubleshooting run at once, and more than one console.
    EXPECT_GE(defaults.requestBurst, 6u);
    EXPECT_GE(defaults.requestsPerSecond, 1u);
    EXPECT_GE(defaults.totalRequestsPerSecond, 4 * defaults.requestsPerSecond);
}

} // namespace
} // namespace tarvo
