// The --check-config report and the agent's log sink.
#include "AgentTestSupport.h"

#include "agent/AgentConfig.h"
#include "agent/AgentLog.h"

#include <gtest/gtest.h>


#include <algorithm>
#include <filesystem>

namespace tarvo {
namespace {

using test::Installation;

bool holds(const std::vector<std::string> &lines, const std::string &part)
{
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string &line) { return line.find(part) != std::string::npos; });
}

TEST(ConfigReport, ACompleteInstallationReportsItsSettingsAndPbus)
{
    Installation inst;
    inst.layOutBothPrograms();
    ConfigReport report = checkAgentConfiguration(inst.iniPath());
    EXPECT_TRUE(report.ok);
    EXPECT_TRUE(report.problems.empty()) << report.problems.front();
    EXPECT_TRUE(holds(report.lines, "port 10012"));
    EXPECT_TRUE(holds(report.lines, "access control 127.0.0.1"));
    EXPECT_TRUE(holds(report.lines, "envNo 12"));
    EXPECT_TRUE(holds(report.lines, "PBUs 2: A0000000001 A0000000002"));
    EXPECT_TRUE(holds(report.lines, "installation directory " + inst.base()));
}

TEST(ConfigReport, ALoadFailureAndEveryProblemAreReported)
{
    Installation inst;
    inst.layOutBothPrograms();
    inst.remove("Tarvo_ASHR.exe");
    inst.writeLines("TarvoMonitorAgent.ini", {"[Tarvo]", "A股报盘程序=Y", "[PORT]", "port=70000",
                                              "[ACCESS_CONTROL]", "a=10.1"});
    ConfigReport report = checkAgentConfiguration(inst.iniPath());
    EXPECT_FALSE(report.ok);
    EXPECT_TRUE(holds(report.problems, "load failed: 无法找到A股报盘程序启动文件。"));
    EXPECT_TRUE(holds(report.problems, "port 70000 out of range"));
    EXPECT_TRUE(holds(report.problems, "'10.1' dropped"));
    EXPECT_TRUE(holds(report.problems, "ACCESS_CONTROL empty: every client is refused"));
    EXPECT_TRUE(holds(report.lines, "problem: port 70000 out of range"));
}

TEST(ConfigReport, AnEmptyAccessControlIsUsableButAdmitsNobody)
{
    Installation inst;
    inst.layOutBothPrograms();
    inst.writeLines("TarvoMonitorAgent.ini", {"[Tarvo]", "A股报盘程序=Y", "B股报盘程序=Y", "[PORT]",
                                              "port=10012", "[ACCESS_CONTROL]"});
    ConfigReport report = checkAgentConfiguration(inst.iniPath());
    EXPECT_TRUE(report.ok);
    EXPECT_TRUE(report.admitsNobody);
    EXPECT_TRUE(holds(report.lines, "access control (none)"));
    EXPECT_TRUE(holds(report.lines,
                      "problem: ACCESS_CONTROL empty: every client is refused; name the consoles' "
                      "addresses in [ACCESS_CONTROL]"));
}

TEST(ConfigReport, TheCheckCreatesNoLogDirectoryAndNamesUnreadableFiles)
{
    TARVO_SKIP_WITHOUT_FIFOS();
    Installation inst;
    inst.layOutBothPrograms();
    std::filesystem::create_directories(inst.path("monitor"));
    ASSERT_TRUE(test::makeFifo(inst.path("monitor/ASHR_status.txt")));
    ConfigReport report = checkAgentConfiguration(inst.iniPath());
    EXPECT_TRUE(report.ok);
    EXPECT_FALSE(std::filesystem::exists(inst.path("logs")));
    EXPECT_TRUE(holds(report.lines, "log file " + nativePath("./logs/TarvoMonitorAgent.log") +
                                        " (directory missing: the agent creates it at start)"));
    EXPECT_TRUE(holds(report.problems, "status file " + inst.path("monitor/ASHR_status.txt") +
                                           " is not a regular file (a FIFO): not read"));

    inst.remove("TarvoMonitorAgent.ini");
    ASSERT_TRUE(test::makeFifo(inst.iniPath()));
    report = checkAgentConfiguration(inst.iniPath());
    EXPECT_TRUE(holds(report.problems, "ini file " + inst.iniPath() +
                                           " is not a regular file (a FIFO): not read, defaults used"));
}

TEST(ConfigReport, AMissingIniFileIsAProblemButNotAFailure)
{
    Installation inst;
    ConfigReport report = checkAgentConfiguration(inst.iniPath());
    EXPECT_TRUE(report.ok);
    EXPECT_TRUE(holds(report.problems, "ini file " + inst.iniPath() + " missing"));
}

TEST(ConfigReport, BothMissingExecutablesAreNamedThoughTheLoadStopsAtTheFirst)
{
    Installation inst;
    inst.layOutBothPrograms();
    inst.remove("Tarvo_ASHR.exe");
    inst.remove("Tarvo_BSHR.exe");
    inst.remove("cfgB/SystemConfiguration.ini");
    ConfigReport report = checkAgentConfiguration(inst.iniPath());
    EXPECT_FALSE(report.ok);
    EXPECT_TRUE(holds(report.problems, "A股报盘程序: executable " + inst.path("Tarvo_ASHR.exe") + " missing"));
    EXPECT_TRUE(holds(report.problems, "B股报盘程序: executable " + inst.path("Tarvo_BSHR.exe") + " missing"));
    EXPECT_TRUE(holds(report.problems, "B股报盘程序: configuration file"));
}

TEST(ConfigReport, AMissingIniNamedOrInstalledMakesItUnusable)
{
    Installation inst;
    inst.layOutBothPrograms();
    inst.remove("TarvoMonitorAgent.ini");
    EXPECT_FALSE(checkAgentConfiguration(inst.iniPath(), true).ok);
}

// What an editor or a typo does to the settings: every one is named, none stops the check.
TEST(ConfigReport, UnknownKeysTextThatIsNotGbkAndAMissingTarvoIniAreWarnedOf)
{
    Installation inst;
    inst.layOutBothPrograms();
    inst.remove("tarvo.ini");
    // "A股报盘程序" as UTF-8 bytes: an editor that saved the file as UTF-8.
    inst.write("TarvoMonitorAgent.ini",
               "[Tarvo]\r\nlogs_dir=./logs/\r\nA\xE8\x82\xA1\xE6\x8A\xA5\xE7\x9B\x98\xE7\xA8"
               "\x8B\xE5\xBA\x8F=Y\r\n[PORT]\r\nprot=10013\r\n[Log]\r\nDebug=ON\r\n"
               "[ACCESS_CONTROL]\r\nc=127.0.0.1\r\n[Extra]\r\nx=1\r\n");
    ConfigReport report = checkAgentConfiguration(inst.iniPath());
    EXPECT_TRUE(report.ok);
    for (const char *warning :
         {"the ini file is not GBK text", "unknown key \"prot\" in [PORT]", "unknown section [Extra]",
          "tarvo.ini missing in "})
        EXPECT_TRUE(holds(report.warnings, warning)) << warning;
    EXPECT_TRUE(holds(report.lines, "warning: unknown key \"prot\""));
    // "Debug" in [Log] is a key of [LOG]: section names match without regard to case.
    EXPECT_FALSE(holds(report.warnings, "Debug"));
    EXPECT_EQ(report.warnings.size(), 5u);  // and the UTF-8 key itself
}

TEST(AgentLog, LinesReachTheInstalledSinkWithTheirLevel)
{
    std::vector<std::string> seen;
    AgentLog::setSink([&](AgentLog::Level level, const std::string &text) {
        seen.push_back(std::string(AgentLog::levelName(level)) + " " + text);
    });
    AgentLog::info("one");
    AgentLog::error("two");
    AgentLog::setSink({});
    AgentLog::warning("dropped without a sink");
    EXPECT_EQ(seen, (std::vector<std::string>{"INFO one", "ERROR two"}));
}

} // namespace
} // namespace tarvo
