// The process list parsers, matching by executable name, and a fake /proc tree.
#include "platform/ProcessList.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace tarvo {
namespace {

TEST(ProcessListParsers, CommLosesItsLineFeed)
{
    EXPECT_EQ(parseComm("Tarvo_ASHR.exe\n"), "Tarvo_ASHR.exe");
    EXPECT_EQ(parseComm("bash"), "bash");
    EXPECT_EQ(parseComm(""), "");
}

TEST(ProcessListParsers, CmdlineGivesTheBaseNameOfTheFirstArgument)
{
    using namespace std::string_literals;
    EXPECT_EQ(parseCmdlineBaseName("/opt/tarvo/Tarvo_BSHR.exe\0--once\0"s), "Tarvo_BSHR.exe");
    EXPECT_EQ(parseCmdlineBaseName("./Tarvo_ASHR.exe\0"s), "Tarvo_ASHR.exe");
    EXPECT_EQ(parseCmdlineBaseName("sleep\0/x/Tarvo_ASHR.exe\0"s), "sleep");
    EXPECT_EQ(parseCmdlineBaseName(""), "");
}

TEST(RunsExecutable, MatchesCommOrCommandLineWithoutRegardToCase)
{
    EXPECT_TRUE(runsExecutable({1, "tarvo_ashr.exe", ""}, "Tarvo_ASHR.exe"));
    EXPECT_TRUE(runsExecutable({1, "oes-sim", "TARVO_ASHR.EXE"}, "Tarvo_ASHR.exe"));
    EXPECT_FALSE(runsExecutable({1, "Tarvo_ASHR.ex", "x"}, "Tarvo_ASHR.exe"));
    EXPECT_FALSE(runsExecutable({1, "", ""}, ""));
    // comm holds at most 15 bytes of a longer name.
    EXPECT_TRUE(runsExecutable({1, "Tarvo_ASHR_long", ""}, "Tarvo_ASHR_longer.exe"));
}

TEST(SystemProcessList, ReadsEveryNumericEntryOfAProcTree)
{
    char pattern[] = "/tmp/tarvo-proc-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string root = pattern;
    auto write = [&](const std::string &rel, const std::string &text) {
        std::filesystem::create_directories(std::filesystem::path(root + "/" + rel).parent_path());
        std::ofstream(root + "/" + rel, std::ios::binary) << text;
    };
    using namespace std::string_literals;
    write("1/comm", "systemd\n");
    write("1/cmdline", "/sbin/init\0splash\0"s);
    write("7/comm", "Tarvo_Long_Name\n");
    write("7/cmdline", "/opt/Tarvo_Long_Name.exe\0"s);
    write("42/comm", "Tarvo_ASHR.exe\n");
    write("42/cmdline", "./Tarvo_ASHR.exe\0"s);
    write("43/cmdline", "gone\0"s); // ended between listing and reading: no comm
    write("self/comm", "not a pid\n");

    auto processes = SystemProcessList(root).snapshot();
    std::sort(processes.begin(), processes.end(),
              [](const ProcessInfo &a, const ProcessInfo &b) { return a.pid < b.pid; });
    ASSERT_EQ(processes.size(), 3u);
    EXPECT_EQ(processes[0].pid, 1);
    EXPECT_EQ(processes[0].comm, "systemd");
    EXPECT_EQ(processes[0].exeName, ""); // a name shorter than 15 bytes is whole
    EXPECT_EQ(processes[1].pid, 7);
    EXPECT_EQ(processes[1].comm, "Tarvo_Long_Name");
    EXPECT_EQ(processes[1].exeName, "Tarvo_Long_Name.exe");
    EXPECT_TRUE(runsExecutable(processes[1], "tarvo_long_name.exe"));
    EXPECT_EQ(processes[2].comm, "Tarvo_ASHR.exe");
    std::filesystem::remove_all(root);
}

TEST(SystemProcessList, TheRealListHoldsThisProcess)
{
    auto processes = SystemProcessList().snapshot();
    auto self = std::find_if(processes.begin(), processes.end(),
                             [](const ProcessInfo &p) { return p.pid == ::getpid(); });
    ASSERT_NE(self, processes.end());
    EXPECT_EQ(self->comm, "platform_tests");
}

} // namespace
} // namespace tarvo
