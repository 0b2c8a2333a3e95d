// The process list of Windows: a real Toolhelp snapshot, names whole, matched without case.
#include "platform/ProcessList.h"
#include "SystemSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace tarvo {
namespace {

TEST(SystemProcessList, TheRealSnapshotHoldsThisProcessByItsWholeName)
{
    const auto processes = SystemProcessList().snapshot();
    auto self = std::find_if(processes.begin(), processes.end(), [](const ProcessInfo &p) {
        return p.pid == test::currentProcessId();
    });
    ASSERT_NE(self, processes.end());
    EXPECT_EQ(self->exeName, "platform_tests.exe");
    EXPECT_TRUE(runsExecutable(*self, "PLATFORM_TESTS.EXE"));
}

TEST(RunsExecutable, ComparesTheWholeNameWithoutRegardToCase)
{
    EXPECT_TRUE(runsExecutable({1, "tarvo_ashr.exe", "tarvo_ashr.exe"}, "Tarvo_ASHR.exe"));
    EXPECT_TRUE(runsExecutable({1, "TARVO_ASHR.EXE", ""}, "Tarvo_ASHR.exe"));
    EXPECT_FALSE(runsExecutable({1, "Tarvo_ASHR.ex", "Tarvo_ASHR.ex"}, "Tarvo_ASHR.exe"));
    // No name is cut short on Windows, so a prefix never matches.
    EXPECT_FALSE(runsExecutable({1, "Tarvo_ASHR_long", "Tarvo_ASHR_long"}, "Tarvo_ASHR_longer.exe"));
    EXPECT_FALSE(runsExecutable({1, "", ""}, ""));
}

} // namespace
} // namespace tarvo
