// The agent configuration against temporary installation directories.
#include "AgentTestSupport.h"

#include "agent/AgentConfig.h"
#include "host/StatusNames.h"
#include "platform/Files.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace tarvo {
namespace {

using test::Installation;

const std::string MISSING_A = "无法找到A股报盘程序启动文件。请检查Tarvo_ASHR.exe是否存在，"
                              "或者将TarvoMonitorAgent.ini中的\"A股报盘程序\"项置为N。";
const std::string MISSING_B = "无法找到B股报盘程序启动文件。请检查Tarvo_BSHR.exe是否存在，"
                              "或者将TarvoMonitorAgent.ini中的\"B股报盘程序\"项置为N。";

std::string loadFailure(AgentConfig &config)
{
    try {
        config.load();
    } catch (const std::exception &e) {
        return e.what();
    }
    return "(no failure)";
}

TEST(AgentConfig, WithoutAnyIniFileEverySettingTakesItsDefault)
{
    Installation inst;
    AgentConfig config(inst.iniPath());
    config.load();

    EXPECT_EQ(config.getPort(), 10012);
    EXPECT_EQ(config.getOesFlagA(), "N");
    EXPECT_EQ(config.getOesFlagB(), "N");
    EXPECT_EQ(config.getLogFile(), nativePath("./logs/TarvoMonitorAgent.log"));
    EXPECT_TRUE(directoryExists(inst.path("logs")));
    EXPECT_EQ(config.getEnvNo(), "00");
    EXPECT_FALSE(config.getDebug());
    EXPECT_TRUE(config.getAccessControl().empty());
    EXPECT_EQ(config.getBaseDir(), inst.base());
    ASSERT_EQ(config.getCommunicators().size(), 2u);
    EXPECT_EQ(config.getCommunicators()[0]->getOesExist(), "N");
    EXPECT_EQ(config.getCommunicators()[0]->getOesName(), OES_NAME_A);
    EXPECT_EQ(config.getCommunicators()[1]->getOesExist(), "N");
    EXPECT_EQ(config.getCommunicators()[1]->getOesName(), OES_NAME_B);
}

TEST(AgentConfig, ComputesTheProgramPathsUnderTheInstallationDirectory)
{
    Installation inst;
    inst.writeLines("TarvoMonitorAgent.ini", {"[tarvo]", "logs_dir=./var/log/", "[log]",
                                              "name=agent.log", "[Port]", "port=10999"});
    AgentConfig config(inst.iniPath());
    config.load();

    EXPECT_EQ(config.getLogFile(), "./var/log/agent.log");
    EXPECT_TRUE(directoryExists(inst.path("var/log")));
    EXPECT_EQ(config.getPort(), 10999);
    EXPECT_EQ(config.getConfigFileA(), inst.path("cfgA/SystemConfiguration.ini"));
    EXPECT_EQ(config.getExeFileA(), inst.path("Tarvo_ASHR.exe"));
    EXPECT_EQ(config.getStatusFileA(), inst.path("monitor/ASHR_status.txt"));
    EXPECT_EQ(config.getCmdFileA(), inst.path("monitor/ASHR_cmd.txt"));
    EXPECT_EQ(config.getCmdResFileA(), inst.path("monitor/ASHR_cmd_res.txt"));
    EXPECT_EQ(config.getLogDirA(), "./var/log/" + nativePath("ASHR/"));
    EXPECT_EQ(config.getConfigFileB(), inst.path("cfgB/SystemConfiguration.ini"));
    EXPECT_EQ(config.getExeFileB(), inst.path("Tarvo_BSHR.exe"));
    EXPECT_EQ(config.getStatusFileB(), inst.path("monitor/BSHR_status.txt"));
    EXPECT_EQ(config.getCmdFileB(), inst.path("monitor/BSHR_cmd.txt"));
    EXPECT_EQ(config.getCmdResFileB(), inst.path("monitor/BSHR_cmd_res.txt"));
    EXPECT_EQ(config.getLogDirB(), "./var/log/" + nativePath("BSHR/"));
    EXPECT_EQ(config.getCommunicators()[1]->getStatusFile(), config.getStatusFileB());
}

TEST(AgentConfig, OnlyAnUpperCaseYWatchesAProgram)
{
    Installation inst;
    inst.layOutBothPrograms();
    inst.writeLines("TarvoMonitorAgent.ini", {"[Tarvo]", "A股报盘程序=y", "B股报盘程序=Y"});
    AgentConfig config(inst.iniPath());
    config.load();
    EXPECT_EQ(config.getOesFlagA(), "N");
    EXPECT_EQ(config.getOesFlagB(), "Y");
    EXPECT_EQ(config.getCommunicators()[0]->getOesExist(), "N");
    EXPECT_EQ(config.getCommunicators()[1]->getOesExist(), "Y");
}

TEST(AgentConfig, DebugIsOnForOnInAnyLetterCase)
{
    Installation inst;
    inst.writeLines("TarvoMonitorAgent.ini", {"[LOG]", "Debug=oN"});
    AgentConfig config(inst.iniPath());
    config.load();
    EXPECT_TRUE(config.getDebug());
}

TEST(AgentConfig, AccessControlKeepsNormalisedAddressesAndDropsIncompleteOnes)
{
    Installation inst;
    inst.writeLines("TarvoMonitorAgent.ini",
                    {"[ACCESS_CONTROL]", "a=192.168.1", "b=192.168.001.010", "c=", "d=10.0.0.1"});
    AgentConfig config(inst.iniPath());
    config.load();
    EXPECT_EQ(config.getAccessControl(), (std::vector<std::string>{"192.168.1.10", "10.0.0.1"}));
    EXPECT_EQ(config.getRejectedAddresses(), (std::vector<std::string>{"192.168.1", ""}));
}

TEST(AgentConfig, AnAccessControlPartThatIsNoNumberEndsTheLoadNamingKeyAndValue)
{
    Installation inst;
    inst.writeLines("TarvoMonitorAgent.ini", {"[ACCESS_CONTROL]", "ok=10.0.0.1", "a=10.0.x.1"});
    AgentConfig config(inst.iniPath());
    EXPECT_THROW(config.load(), std::invalid_argument);
    EXPECT_TRUE(config.getCommunicators().empty());
    const std::string problem =
        "[ACCESS_CONTROL] a=10.0.x.1 is not an address ('x' is not a valid integer value)";
    EXPECT_EQ(loadFailure(config), problem);
    EXPECT_EQ(config.getAccessControlProblem(), problem);
    EXPECT_EQ(config.accessControlRefusal(),
              "ACCESS_CONTROL cannot be read: " + problem + "; every client is refused");
    // Mended, it loads, and the problem is gone.
    inst.writeLines("TarvoMonitorAgent.ini", {"[ACCESS_CONTROL]", "a=10.0.2.1"});
    config.load();
    EXPECT_EQ(config.getAccessControlProblem(), "");
    EXPECT_EQ(config.accessControlRefusal(), "");
}

TEST(AgentConfig, MissingExecutableOfAWatchedProgramFailsWithItsText)
{
    Installation inst;
    inst.layOutBothPrograms();
    AgentConfig config(inst.iniPath());

    inst.remove("Tarvo_BSHR.exe");
    EXPECT_EQ(loadFailure(config), MISSING_B);

    inst.remove("Tarvo_ASHR.exe");
    EXPECT_EQ(loadFailure(config), MISSING_A); // only the first of the two is reported
    EXPECT_TRUE(config.getCommunicators().empty());
    EXPECT_EQ(config.getEnvNo(), "");
    EXPECT_EQ(config.getOesPackage(), "");
    EXPECT_EQ(config.getPort(), 10012); // settings read before the failure stay
    EXPECT_EQ(config.getOesFlagA(), "Y");
}

TEST(AgentConfig, ALogDirectoryThatCannotBeCreatedFails)
{
    Installation inst;
    inst.write("blocker", "a file, not a directory");
    inst.writeLines("TarvoMonitorAgent.ini", {"[Tarvo]", "logs_dir=./blocker/logs/"});
    AgentConfig config(inst.iniPath());
    EXPECT_EQ(loadFailure(config), "Cannot create LogFile Directory.");
}

TEST(AgentConfig, TheCheckOnlyLoadCreatesNoLogDirectoryButFailsLikeTheAgentWould)
{
    Installation inst;
    inst.writeLines("TarvoMonitorAgent.ini", {"[Tarvo]", "logs_dir=./new/logs/"});
    AgentConfig config(inst.iniPath());
    config.load(AgentConfig::LogDirectory::CheckOnly);
    EXPECT_TRUE(config.isLoaded());
    EXPECT_FALSE(fileExists(inst.path("new")));

    inst.write("blocker", "a file, not a directory");
    inst.writeLines("TarvoMonitorAgent.ini", {"[Tarvo]", "logs_dir=./blocker/logs/"});
    try {
        config.load(AgentConfig::LogDirectory::CheckOnly);
        ADD_FAILURE() << "no failure";
    } catch (const std::runtime_error &e) {
        EXPECT_STREQ(e.what(), "Cannot create LogFile Directory.");
    }
}

struct PortCase
{
    const char *line; // the [PORT] line, or nullptr for none
    int port;
    const char *described;
    const char *problem;
};

class PortSetting : public ::testing::TestWithParam<PortCase>
{
};

TEST_P(PortSetting, ThePortAndWhyItIsThatOne)
{
    Installation inst;
    if (GetParam().line)
        inst.writeLines("TarvoMonitorAgent.ini", {"[PORT]", GetParam().line});
    AgentConfig config(inst.iniPath());
    config.load();
    EXPECT_EQ(config.getPort(), GetParam().port);
    EXPECT_EQ(config.describePort(), GetParam().described);
    EXPECT_EQ(config.portProblem(), GetParam().problem);
}

INSTANTIATE_TEST_SUITE_P(
    Values, PortSetting,
    ::testing::Values(
        PortCase{nullptr, 10012, "the default: [PORT] port is not set", ""},
        PortCase{"port=10013", 10013, "from [PORT] port", ""},
        PortCase{"port=abc", 10012, "the default: [PORT] port \"abc\" is not a number",
                 "[PORT] port \"abc\" is not a number: the default port 10012 is used"},
        PortCase{"port=", 10012, "the default: [PORT] port is empty",
                 "[PORT] port is empty: the default port 10012 is used"},
        PortCase{"port=10012xyz", 10012, "the leading digits of [PORT] port \"10012xyz\"",
                 "[PORT] port \"10012xyz\" is not a whole number: its leading digits give port "
                 "10012"},
        PortCase{"port=99999999999999999999", 2147483647, "from [PORT] port", ""}));

TEST(AgentConfig, EnvNoComesFromTarvoIniAndAnEmptyValueGivesZeroZero)
{
    Installation inst;
    AgentConfig config(inst.iniPath());
    inst.writeLines("tarvo.ini", {"[tarvo]", "envNo=12"});
    config.load();
    EXPECT_EQ(config.getEnvNo(), "12");
    inst.writeLines("tarvo.ini", {"[TARVO]", "envNo="});
    config.load();
    EXPECT_EQ(config.getEnvNo(), "00");
}

TEST(AgentConfig, ReloadReplacesAccessControlAndCommunicators)
{
    Installation inst;
    inst.layOutBothPrograms();
    AgentConfig config(inst.iniPath());
    config.load();
    const OesCommunicator *first = config.getCommunicators()[0].get();
    EXPECT_EQ(first->getPbus().size(), 2u);
    config.load();
    EXPECT_EQ(config.getAccessControl().size(), 1u);
    ASSERT_EQ(config.getCommunicators().size(), 2u);
    EXPECT_EQ(config.getCommunicators()[0]->getPbus().size(), 2u);
}

TEST(AgentConfig, PackagesCarryBothProgramsAndTheirConfiguredPbusInOrder)
{
    Installation inst;
    inst.layOutBothPrograms();
    AgentConfig config(inst.iniPath());
    config.load();
    auto processes = std::make_shared<test::FakeProcessList>();
    processes->processes = {test::process("bash"), test::process("Tarvo_ASHR.exe")};
    config.setProcessList(processes);
    config.refresh();

    const std::string oesPackage = config.getOesPackage();
    size_t position = 1;
    Oes a, b;
    a.readItem(oesPackage, position);
    b.readItem(oesPackage, position);
    EXPECT_EQ(position, oesPackage.size() + 1);
    EXPECT_EQ(a.getOesName(), OES_NAME_A);
    EXPECT_EQ(a.getOesExist(), "Y");
    EXPECT_EQ(a.getOesStatus(), "运行");
    EXPECT_EQ(b.getOesName(), OES_NAME_B);
    EXPECT_EQ(b.getOesStatus(), "停止");

    const std::string pbuPackage = config.getPbuPackage();
    position = 1;
    std::vector<std::string> seen;
    while (position <= pbuPackage.size()) {
        Pbu pbu;
        pbu.readItem(pbuPackage, position);
        seen.push_back(pbu.getOesName() + "/" + pbu.getOperatorNumber() + "/" + pbu.getPbuStatus());
    }
    EXPECT_EQ(seen, (std::vector<std::string>{OES_NAME_A + "/A0000000001/0",
                                              OES_NAME_A + "/A0000000002/0",
                                              OES_NAME_B + "/B0000000001/0"}));
}

TEST(AgentConfigInstance, AFailedFirstLoadIsRetriedByTheNextCall)
{
    Installation inst;
    inst.layOutBothPrograms();
    inst.remove("Tarvo_ASHR.exe");
    AgentConfig::resetInstance();
    AgentConfig::setIniPath(inst.iniPath());
    EXPECT_THROW(AgentConfig::instance(), std::runtime_error);

    inst.write("Tarvo_ASHR.exe", "");
    AgentConfig &config = AgentConfig::instance();
    EXPECT_TRUE(config.isLoaded());
    EXPECT_EQ(config.getEnvNo(), "12");
    EXPECT_EQ(&AgentConfig::instance(), &config);

    AgentConfig::resetInstance();
    AgentConfig::setIniPath({});
}

TEST(AgentConfigInstance, TheDefaultIniPathIsTheExecutablesWithIni)
{
    AgentConfig::setIniPath({});
    EXPECT_EQ(AgentConfig::iniPath(), replaceExtension(executablePath(), ".ini"));
}

} // namespace
} // namespace tarvo
