// The order-submission program simulator: its name, its operators, the status file it
// writes (read back by the agent's own reader), the control file and the demo layout.
#include "OesSim.h"
#include "TestSupport.h"

#include "agent/OesStatusFile.h"
#include "host/Pbu.h"
#include "platform/Files.h"
#include "platform/IniFile.h"

#include <gtest/gtest.h>

namespace tarvo {
namespace {

using sim::OesSimulator;
using sim::Program;
namespace fs = std::filesystem;

sim::SimOperator op(std::string code, std::string csIP = {}, std::string localIP = {})
{
    sim::SimOperator result;
    result.code = std::move(code);
    result.csIP = std::move(csIP);
    result.localIP = std::move(localIP);
    return result;
}

const std::tm AT = [] {
    std::tm t{};
    t.tm_year = 2009 - 1900;
    t.tm_mon = 9;
    t.tm_mday = 23;
    t.tm_hour = 14;
    t.tm_min = 35;
    t.tm_sec = 7;
    return t;
}();

struct NameCase
{
    const char *argv0;
    std::optional<Program> program;
};

class SimProgramName : public ::testing::TestWithParam<NameCase>
{
};

TEST_P(SimProgramName, DecidesTheProgram)
{
    EXPECT_EQ(sim::programOf(GetParam().argv0), GetParam().program);
}

INSTANTIATE_TEST_SUITE_P(
    Names, SimProgramName,
    ::testing::Values(NameCase{"Tarvo_ASHR.exe", Program::A},
                      NameCase{"/opt/tarvo/Tarvo_BSHR.exe", Program::B},
                      NameCase{"./tarvo_ashr.EXE", Program::A}, NameCase{"Tarvo_BSHR", Program::B},
                      NameCase{"oes-sim", std::nullopt}, NameCase{"Tarvo_CSHR.exe", std::nullopt},
                      NameCase{"/x/Tarvo_ASHR.exe/other", std::nullopt}));

TEST(OesSim, PathsFollowTheInstallationLayout)
{
    sim::ProgramPaths a = sim::pathsOf(Program::A, nativePath("/inst"));
    EXPECT_EQ(a.configFile, nativePath("/inst/cfgA/SystemConfiguration.ini"));
    EXPECT_EQ(a.statusFile, nativePath("/inst/monitor/ASHR_status.txt"));
    EXPECT_EQ(a.controlFile, nativePath("/inst/monitor/ASHR_sim.txt"));
    EXPECT_EQ(sim::pathsOf(Program::B, "").statusFile, nativePath("monitor/BSHR_status.txt"));
}

TEST(OesSim, ReadsOperatorsOfTheConfigurationAndSkipsEmptyCodes)
{
    IniFile config = IniFile::parse("[System]\r\nOperatorCounts=3\r\n"
                                    "[oper1]\r\nOperCode=A0000000001\r\nGwip1=10.0.0.1\r\nLocalIP1=10.0.0.9\r\n"
                                    "[oper2]\r\nGwipCounts=0\r\n"
                                    "[oper3]\r\nOperCode=A0000000003\r\n");
    std::vector<sim::SimOperator> operators = OesSimulator::readOperators(config);
    ASSERT_EQ(operators.size(), 2u);
    EXPECT_EQ(operators[0].code, "A0000000001");
    EXPECT_EQ(operators[0].csIP, "10.0.0.1");
    EXPECT_EQ(operators[0].localIP, "10.0.0.9");
    EXPECT_EQ(operators[1].code, "A0000000003");
}

TEST(OesSim, StatusFileBytesForOneOperator)
{
    OesSimulator simulator(Program::A, {op("A0000000001", "10.0.0.1", "10.0.0.9")}, "V2", "ASHR");
    simulator.tick();
    EXPECT_EQ(simulator.statusText(AT),
              "[TIME]\r\nTime=20091023-14:35:07\r\n"
              "[OESStatus]\r\nOESVersion=V2\r\nOESType=ASHR\r\nWarningLevel=0\r\nOperatorTotal=1\r\n"
              "[OperatorStatus.1]\r\nOperator=A0000000001\r\nStatus=3\r\nWarningLevel=0\r\n"
              "OrdNumSubmitted=3\r\nOrdNumConfirmed=3\r\nTradeNumber=1\r\nMaxOrderNumber=3\r\n"
              "CSIP=10.0.0.1\r\nLocalIP=10.0.0.9\r\nCapability=1000\r\nWork=1\r\n");
}

TEST(OesSim, CountersGrowWhileRunningAndFreezeWhileStopped)
{
    OesSimulator simulator(Program::B, {op("B0000000001"), op("B0000000002"), op("B0000000003")}, "V", "T");
    simulator.tick();
    std::vector<sim::SimOperator> before = simulator.operators();
    sim::SimControl control = sim::parseControl("# hold one\nB0000000002\r\n\nWarningLevel=2\n");
    simulator.applyControl(control);
    simulator.tick();
    const auto &after = simulator.operators();
    EXPECT_GT(after[0].submitted, before[0].submitted);
    EXPECT_EQ(after[1].submitted, before[1].submitted);
    EXPECT_TRUE(after[1].stopped);
    for (const sim::SimOperator &op : after) {
        EXPECT_LE(op.confirmed, op.submitted);
        EXPECT_LE(op.trades, op.confirmed);
    }
    const std::string text = simulator.statusText(AT);
    EXPECT_NE(text.find("[OESStatus]\r\nOESVersion=V\r\nOESType=T\r\nWarningLevel=2\r\n"),
              std::string::npos);
    EXPECT_NE(text.find("Operator=B0000000002\r\nStatus=1\r\n"), std::string::npos);

    simulator.applyControl(sim::parseControl("*\n"));
    for (const sim::SimOperator &op : simulator.operators())
        EXPECT_TRUE(op.stopped);
    simulator.applyControl(sim::parseControl(""));
    for (const sim::SimOperator &op : simulator.operators())
        EXPECT_FALSE(op.stopped);
}

// The agent's reader is the one consumer of the file: what the simulator writes must
// arrive in the PBU records as written.
TEST(OesSim, AgentReaderSeesTheSimulatedCountersAndStatuses)
{
    OesSimulator simulator(Program::A,
                           {op("A0000000001", "10.0.0.1", "10.0.0.9"), op("A0000000002", "10.0.0.2", "10.0.0.8")},
                           "V1.0", "ASHR");
    simulator.applyControl(sim::parseControl("A0000000002\n"));
    simulator.tick();
    simulator.tick();
    std::vector<std::unique_ptr<Pbu>> pbus;
    pbus.push_back(std::make_unique<Pbu>("A股报盘程序", "A0000000001"));
    pbus.push_back(std::make_unique<Pbu>("A股报盘程序", "A0000000002"));
    std::string type, version, warning;
    const std::string result = OesStatusFile::readStatusText(
        IniFile::parse(simulator.statusText(AT)), "A股报盘程序", type, version, warning, "运行", pbus);
    EXPECT_EQ(result, "OK");
    EXPECT_EQ(type, "ASHR");
    EXPECT_EQ(version, "V1.0");
    EXPECT_EQ(warning, "0");
    EXPECT_EQ(pbus[0]->getPbuStatus(), "3");
    EXPECT_EQ(pbus[0]->getPbuBidNumber(), "6");
    EXPECT_EQ(pbus[0]->getPbuResponseNumber(), "6");
    EXPECT_EQ(pbus[0]->getPbuTradeNumber(), "3");
    EXPECT_EQ(pbus[0]->getCsIP(), "10.0.0.1");
    EXPECT_EQ(pbus[0]->getHostExtIP(), "10.0.0.9");
    EXPECT_EQ(pbus[1]->getPbuStatus(), "1");
    EXPECT_EQ(pbus[1]->getPbuBidNumber(), "");
    EXPECT_NE(OesStatusFile::parseStatusTime(sim::formatStatusTime(AT)), 0);
}

TEST(OesSim, AtomicWriteReplacesTheFileAndLeavesNoTemporary)
{
    test::TempDir dir;
    const std::string path = dir / "monitor/ASHR_status.txt";
    EXPECT_EQ(sim::writeFileAtomically(path, "first"), "");
    EXPECT_EQ(sim::writeFileAtomically(path, "second"), "");
    EXPECT_EQ(test::readFile(path), "second");
    size_t files = 0;
    for ([[maybe_unused]] const auto &entry : fs::directory_iterator(dir / "monitor"))
        ++files;
    EXPECT_EQ(files, 1u);
    EXPECT_NE(sim::writeFileAtomically(dir / "monitor/ASHR_status.txt/x", "y"), "");
}

TEST(OesSim, DemoInstallationHoldsGbkIniFilesThatTheAgentReads)
{
    test::TempDir dir;
    sim::InstallOptions options;
    options.operatorsPerProgram = 2;
    options.envNo = "12";
    options.port = 12345;
    options.accessControl = {"127.0.0.1", "10.0.0.7"};
    ASSERT_EQ(sim::installDemo(dir.path(), executablePath(), options), "");
    EXPECT_TRUE(fs::exists(dir / "Tarvo_ASHR.exe"));
    EXPECT_TRUE(fs::exists(dir / "Tarvo_BSHR.exe"));
    EXPECT_TRUE(fs::is_directory(dir / "monitor"));

    IniFile agent = IniFile::load(dir / "TarvoMonitorAgent.ini");
    EXPECT_EQ(agent.readString("Tarvo", "A股报盘程序"), "Y");
    EXPECT_EQ(agent.readString("Tarvo", "B股报盘程序"), "Y");
    EXPECT_EQ(agent.readInt("PORT", "port", 0), 12345);
    EXPECT_EQ(agent.keys("ACCESS_CONTROL").size(), 2u);
    // The key is stored in GBK: "A股" is 41 B9 C9.
    EXPECT_NE(test::readFile(dir / "TarvoMonitorAgent.ini").find("A\xB9\xC9"), std::string::npos);
    EXPECT_EQ(IniFile::load(dir / "tarvo.ini").readString("TARVO", "envNo"), "12");

    IniFile cfgB = IniFile::load(dir / "cfgB/SystemConfiguration.ini");
    EXPECT_EQ(cfgB.readInt("System", "OperatorCounts", 0), 2);
    EXPECT_EQ(cfgB.readString("oper2", "OperCode"), "B0000000002");
    EXPECT_EQ(cfgB.readString("oper2", "OperCode").size(), 11u);
    EXPECT_EQ(cfgB.readString("oper1", "GwipCounts"), "1");
}

TEST(OesSim, ByDefaultTheDemoAgentAdmitsTheConsoleOfThisMachine)
{
    test::TempDir dir;
    ASSERT_EQ(sim::installDemo(dir.path(), executablePath(), sim::InstallOptions{}), "");
    IniFile agent = IniFile::load(dir / "TarvoMonitorAgent.ini");
    ASSERT_EQ(agent.keys("ACCESS_CONTROL"), (std::vector<std::string>{"ip1"}));
    EXPECT_EQ(agent.readString("ACCESS_CONTROL", "ip1"), "127.0.0.1");
}

} // namespace
} // namespace tarvo
