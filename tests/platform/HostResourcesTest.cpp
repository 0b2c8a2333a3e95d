// The /proc/stat and /proc/meminfo parsers and the usage arithmetic.
#include "platform/Files.h"
#include "platform/HostResources.h"

#include <gtest/gtest.h>

namespace tarvo {
namespace {

TEST(ParseProcStat, SumsTheAggregateLineAndCountsIowaitAsIdle)
{
    auto times = parseProcStat("cpu  100 5 50 800 20 3 2 10 7 0\n"
                               "cpu0 50 2 25 400 10 1 1 5 3 0\n"
                               "intr 12345\n");
    ASSERT_TRUE(times);
    EXPECT_EQ(times->idle, 820u);
    EXPECT_EQ(times->total, 990u); // guest (7) is already inside user
}

TEST(ParseProcStat, OlderKernelsWithFourFieldsAndBadTexts)
{
    auto times = parseProcStat("cpu 1 2 3 4\n");
    ASSERT_TRUE(times);
    EXPECT_EQ(times->idle, 4u);
    EXPECT_EQ(times->total, 10u);
    EXPECT_FALSE(parseProcStat("cpu 1 2\n"));
    EXPECT_FALSE(parseProcStat("cpu0 1 2 3 4\n"));
    EXPECT_FALSE(parseProcStat(""));
}

TEST(ParseMemInfo, TakesTotalAndAvailable)
{
    auto memory = parseMemInfo("MemTotal:       16303020 kB\n"
                               "MemFree:         1046788 kB\n"
                               "MemAvailable:    8151510 kB\n"
                               "Buffers:          512000 kB\n");
    ASSERT_TRUE(memory);
    EXPECT_EQ(memory->total, 16303020u);
    EXPECT_EQ(memory->available, 8151510u);
    EXPECT_EQ(memoryUsagePercent(*memory), 50);
}

TEST(ParseMemInfo, FallsBackToMemFreeAndRejectsMissingTotal)
{
    auto memory = parseMemInfo("MemTotal: 1000 kB\nMemFree: 300 kB\n");
    ASSERT_TRUE(memory);
    EXPECT_EQ(memory->available, 300u);
    EXPECT_FALSE(parseMemInfo("MemFree: 300 kB\n"));
}

struct CpuCase
{
    CpuTimes previous, current;
    int expected;
};

class CpuUsage : public ::testing::TestWithParam<CpuCase>
{
};

TEST_P(CpuUsage, IsTheTruncatedNonIdleShare)
{
    EXPECT_EQ(cpuUsagePercent(GetParam().previous, GetParam().current), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Deltas, CpuUsage,
    ::testing::Values(CpuCase{{0, 0}, {900, 1000}, 10},       // since boot
                      CpuCase{{900, 1000}, {901, 1003}, 66},  // 2 of 3, truncated
                      CpuCase{{900, 1000}, {900, 1000}, 0},   // no time passed
                      CpuCase{{900, 1000}, {10, 20}, 0},      // counters wrapped or reset
                      CpuCase{{900, 1000}, {1000, 1050}, 0},  // idle grew more than total
                      CpuCase{{0, 0}, {0, 50}, 100}));

TEST(UsagePercent, MemoryAndDiskGuardEmptyTotals)
{
    EXPECT_EQ(memoryUsagePercent({0, 0}), 0);
    EXPECT_EQ(diskUsagePercent({0, 0}), 0);
    EXPECT_EQ(diskUsagePercent({1000, 1}), 99);
    EXPECT_EQ(diskUsagePercent({1000, 2000}), 0);
    // 64-bit arithmetic: a volume of 2^40 blocks does not overflow.
    EXPECT_EQ(diskUsagePercent({1ull << 40, 1ull << 39}), 50);
}

TEST(SystemHostResources, ReadsTheRealCounters)
{
    SystemHostResources resources;
    auto cpu = resources.readCpuTimes();
    ASSERT_TRUE(cpu);
    EXPECT_GT(cpu->total, cpu->idle);
    auto memory = resources.readMemInfo();
    ASSERT_TRUE(memory);
    EXPECT_GT(memory->total, 0u);
    EXPECT_TRUE(resources.readDiskSpace(currentDirectory()));
    EXPECT_FALSE(resources.readDiskSpace("/no/such/directory/here"));
}

} // namespace
} // namespace tarvo
