// Reading the programs' status files and the process state of a program.
#include "AgentTestSupport.h"

#include "agent/AgentLog.h"
#include "agent/OesCommunicator.h"
#include "agent/OesStatusFile.h"
#include "host/StatusNames.h"
#include "platform/Clock.h"
#include "platform/IniFile.h"

#include <gtest/gtest.h>


#include <filesystem>

namespace tarvo {
namespace {

using test::Installation;

const std::string RUNNING = "运行";
const std::string STOPPED = "停止";

const char *STATUS_TEXT = "[TIME]\r\n"
                          "Time=20240315-09:30:05\r\n"
                          "[OESStatus]\r\n"
                          "OESVersion=V2.3.1\r\n"
                          "OESType=SHR\r\n"
                          "OperatorTotal=3\r\n"
                          "WarningLevel=2\r\n"
                          "[OperatorStatus.1]\r\n"
                          "Operator=A0000000002\r\n"
                          "Status=3\r\n"
                          "WarningLevel=1\r\n"
                          "OrdNumSubmitted=120\r\n"
                          "OrdNumConfirmed=119\r\n"
                          "TradeNumber=40\r\n"
                          "MaxOrderNumber=9000\r\n"
                          "CSIP=10.1.1.1\r\n"
                          "LocalIP=10.2.2.2\r\n"
                          "Capability=50\r\n"
                          "Work=1\r\n"
                          "[OperatorStatus.2]\r\n"
                          "Operator=A0000000001\r\n"
                          "Status=1\r\n"
                          "OrdNumSubmitted=7\r\n"
                          "[OperatorStatus.3]\r\n"
                          "Operator=Z9999999999\r\n"
                          "Status=3\r\n";

std::vector<std::unique_ptr<Pbu>> configured(std::initializer_list<const char *> codes)
{
    std::vector<std::unique_ptr<Pbu>> pbus;
    for (const char *code : codes)
        pbus.push_back(std::make_unique<Pbu>(OES_NAME_A, code));
    return pbus;
}

struct Working
{
    std::string type = "old-type", version = "old-version", warningLevel = "old-level";
};

std::string read(std::string_view text, const std::string &status, Working &w,
                 std::vector<std::unique_ptr<Pbu>> &pbus)
{
    return OesStatusFile::readStatusText(IniFile::parse(text), OES_NAME_A, w.type, w.version,
                                         w.warningLevel, status, pbus);
}

TEST(OesStatusFile, WhileTheProgramRunsCopiesCountersOfPbusInStatusThree)
{
    Working w;
    auto pbus = configured({"A0000000001", "A0000000002", "A0000000003"});
    EXPECT_EQ(read(STATUS_TEXT, RUNNING, w, pbus), "OK");
    EXPECT_EQ(w.version, "V2.3.1");
    EXPECT_EQ(w.type, "SHR");
    EXPECT_EQ(w.warningLevel, "2");

    const Pbu &second = *pbus[1];
    EXPECT_EQ(second.getOesName(), OES_NAME_A);
    EXPECT_EQ(second.getOesType(), "SHR");
    EXPECT_EQ(second.getPbuStatus(), "3");
    EXPECT_EQ(second.getWarningLevel(), "1");
    EXPECT_EQ(second.getPbuBidNumber(), "120");
    EXPECT_EQ(second.getPbuResponseNumber(), "119");
    EXPECT_EQ(second.getPbuTradeNumber(), "40");
    EXPECT_EQ(second.getMaxOrderNumber(), "9000");
    EXPECT_EQ(second.getCsIP(), "10.1.1.1");
    EXPECT_EQ(second.getHostExtIP(), "10.2.2.2");
    EXPECT_EQ(second.getCapability(), "50");
    EXPECT_EQ(second.getWork(), "1");

    const Pbu &first = *pbus[0]; // status "1": no counters even while running
    EXPECT_EQ(first.getPbuStatus(), "1");
    EXPECT_EQ(first.getPbuBidNumber(), "");
    EXPECT_EQ(first.getWarningLevel(), "0");

    const Pbu &never = *pbus[2]; // not listed: keeps its values
    EXPECT_EQ(never.getPbuStatus(), "0");
    EXPECT_EQ(never.getOesType(), "");
}

TEST(OesStatusFile, WhileTheProgramIsStoppedCountersAndWarningLevelsAreEmpty)
{
    Working w;
    auto pbus = configured({"A0000000002"});
    EXPECT_EQ(read(STATUS_TEXT, STOPPED, w, pbus), "OK");
    EXPECT_EQ(w.warningLevel, "0");
    EXPECT_EQ(pbus[0]->getPbuStatus(), "3");
    EXPECT_EQ(pbus[0]->getWarningLevel(), "0");
    EXPECT_EQ(pbus[0]->getPbuBidNumber(), "");
    EXPECT_EQ(pbus[0]->getCsIP(), "");
}

TEST(OesStatusFile, SectionsBeyondOperatorTotalAreNotRead)
{
    Working w;
    auto pbus = configured({"A0000000001"});
    std::string text = STATUS_TEXT;
    text.replace(text.find("OperatorTotal=3"), 15, "OperatorTotal=1x");
    EXPECT_EQ(read(text, RUNNING, w, pbus), "OK");
    EXPECT_EQ(pbus[0]->getPbuStatus(), "0"); // A0000000001 is in section 2
}

TEST(OesStatusFile, AHugeOperatorTotalReadsOnlyTheSectionsPresent)
{
    Working w;
    auto pbus = configured({"A0000000001"});
    std::string text = STATUS_TEXT;
    text.replace(text.find("OperatorTotal=3"), 15, "OperatorTotal=2000000000");
    EXPECT_EQ(read(text, RUNNING, w, pbus), "OK");
    EXPECT_EQ(pbus[0]->getPbuStatus(), "1");
}

TEST(OesStatusFile, AnOperatorListedTwiceTakesTheLowerNumberedSection)
{
    Working w;
    auto pbus = configured({"A0000000001"});
    std::string text = "[TIME]\nTime=20240315 09.30.05\n[OESStatus]\nOperatorTotal=2\n"
                       "[OperatorStatus.2]\nOperator=A0000000001\nStatus=4\n"
                       "[OperatorStatus.1]\nOperator=A0000000001\nStatus=5\n";
    EXPECT_EQ(read(text, RUNNING, w, pbus), "OK");
    EXPECT_EQ(pbus[0]->getPbuStatus(), "5");
}

class InvalidStatusFile : public ::testing::TestWithParam<const char *>
{
};

TEST_P(InvalidStatusFile, FailsWithoutTouchingAnything)
{
    Working w;
    auto pbus = configured({"A0000000002"});
    std::string text = std::string("[TIME]\r\nTime=") + GetParam() + "\r\n" +
                       (std::string(STATUS_TEXT).substr(std::string(STATUS_TEXT).find("[OESStatus]")));
    EXPECT_EQ(read(text, RUNNING, w, pbus), "FAIL");
    EXPECT_EQ(w.version, "old-version");
    EXPECT_EQ(w.type, "old-type");
    EXPECT_EQ(w.warningLevel, "old-level");
    EXPECT_EQ(pbus[0]->getPbuStatus(), "0");
}

INSTANTIATE_TEST_SUITE_P(Times, InvalidStatusFile,
                         ::testing::Values("", "20240315-09:30", "2024x315-09:30:05",
                                           "20240315-09:3a:05"));

TEST(OesStatusFile, AMissingFileFails)
{
    Installation inst;
    OesStatusFile file(inst.path("monitor/ASHR_status.txt"));
    Working w;
    auto pbus = configured({"A0000000002"});
    EXPECT_EQ(file.readStatusFile(OES_NAME_A, w.type, w.version, w.warningLevel, RUNNING, pbus),
              "FAIL");
    EXPECT_EQ(w.version, "old-version");
}

// A status file that cannot be read: a FIFO (which would block a plain open for ever),
// a directory, or a file over the size limit.
class UnreadableStatusFile : public ::testing::TestWithParam<const char *>
{
};

TEST_P(UnreadableStatusFile, FailsAtOnceAndTheLogSaysWhyOnce)
{
    Installation inst;
    const std::string path = inst.path("monitor/ASHR_status.txt");
    std::filesystem::create_directories(inst.path("monitor"));
    const std::string kind = GetParam();
    std::string expected;
    if (kind == "fifo") {
        TARVO_SKIP_WITHOUT_FIFOS();
        ASSERT_TRUE(test::makeFifo(path));
        expected = "is not a regular file (a FIFO)";
    } else if (kind == "directory") {
        std::filesystem::create_directories(path);
        expected = "is not a regular file (a directory)";
    } else {
        std::string text = STATUS_TEXT;
        text += "Work=" + std::string(OesStatusFile::MAX_FILE_BYTES, 'x') + "\r\n";
        inst.write("monitor/ASHR_status.txt", text);
        expected = "is larger than 1048576 bytes (" + std::to_string(text.size()) + " bytes)";
    }
    std::vector<std::string> logged;
    AgentLog::setSink([&](AgentLog::Level level, const std::string &line) {
        logged.push_back(std::string(AgentLog::levelName(level)) + " " + line);
    });
    OesStatusFile file(path);
    Working w;
    auto pbus = configured({"A0000000002"});
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(file.readStatusFile(OES_NAME_A, w.type, w.version, w.warningLevel, RUNNING, pbus),
                  "FAIL");
    EXPECT_EQ(w.version, "old-version");
    EXPECT_EQ(file.getLastProblem(), expected);
    std::filesystem::remove_all(path);
    inst.write("monitor/ASHR_status.txt", STATUS_TEXT);
    EXPECT_EQ(file.readStatusFile(OES_NAME_A, w.type, w.version, w.warningLevel, RUNNING, pbus),
              "OK");
    AgentLog::setSink({});
    EXPECT_EQ(logged, (std::vector<std::string>{
                          "WARN status file " + path + " " + expected +
                              ": not read, the program's record keeps its last values",
                          "INFO status file " + path + " read again"}));
}

INSTANTIATE_TEST_SUITE_P(Kinds, UnreadableStatusFile,
                         ::testing::Values("fifo", "directory", "too large"));

TEST(OesStatusFile, ValuesAreCutAndCarryNoFieldSeparator)
{
    Working w;
    auto pbus = configured({"A0000000002"});
    const std::string longValue(1000, '7');
    std::string text = STATUS_TEXT;
    text.replace(text.find("OESVersion=V2.3.1"), 17, "OESVersion=V2\x01" "12=forged");
    text.replace(text.find("Work=1"), 6, "Work=" + longValue);
    ASSERT_EQ(read(text, RUNNING, w, pbus), "OK");
    EXPECT_EQ(w.version, "V2 12=forged");
    EXPECT_EQ(pbus[0]->getWork(), std::string(OesStatusFile::MAX_VALUE_BYTES, '7'));
}

TEST(OesStatusFile, CleanValueNeverSplitsAGbkCharacter)
{
    const std::string text = "ab运行"; // 2 + 4 bytes
    EXPECT_EQ(OesStatusFile::cleanValue(text, 6), text);
    EXPECT_EQ(OesStatusFile::cleanValue(text, 5), "ab运");
    EXPECT_EQ(OesStatusFile::cleanValue(text, 3), "ab");
    EXPECT_EQ(OesStatusFile::cleanValue("\x01x\x01", 64), " x ");
    EXPECT_EQ(OesStatusFile::cleanValue("a\xD4", 64), "a\xD4"); // a lone lead byte at the end
}

TEST(OesStatusFile, StatusTimeIsLocalTimeInMilliseconds)
{
    auto expected = localTimeToEpochMs(LocalTime{2024, 3, 15, 9, 30, 5});
    ASSERT_TRUE(expected);
    EXPECT_EQ(OesStatusFile::parseStatusTime("20240315-09:30:05"), *expected);
    EXPECT_EQ(OesStatusFile::parseStatusTime("20240315T09h30m05"), *expected);
    EXPECT_EQ(OesStatusFile::parseStatusTime(""), 0);
}

class Communicator : public ::testing::Test
{
protected:
    Installation inst;

    std::unique_ptr<OesCommunicator> make(const std::string &flag, const std::string &name)
    {
        const std::string share = name == OES_NAME_A ? "A" : "B";
        return std::make_unique<OesCommunicator>(
            flag, name, inst.base(), inst.path("cfg" + share + "/SystemConfiguration.ini"),
            inst.path("Tarvo_" + share + "SHR.exe"),
            inst.path("monitor/" + share + "SHR_status.txt"), "cmd", "cmdRes", "logs/");
    }
};

TEST_F(Communicator, OnlyOperatorCodesOfElevenCharactersArePbus)
{
    inst.writeLines("cfgA/SystemConfiguration.ini",
                    {"[System]", "OperatorCounts=4", "[oper1]", "OperCode=A000000001",
                     "[oper2]", "OperCode=A0000000002", "[oper3]", "OperCode=A00000000003",
                     "[oper4]", "OperCode=A0000000004", "[oper5]", "OperCode=A0000000005"});
    auto oes = make("Y", OES_NAME_A);
    ASSERT_EQ(oes->getPbus().size(), 2u);
    EXPECT_EQ(oes->getPbus()[0]->getOperatorNumber(), "A0000000002");
    EXPECT_EQ(oes->getPbus()[0]->getOesName(), OES_NAME_A);
    EXPECT_EQ(oes->getPbus()[0]->getPbuStatus(), "0");
    EXPECT_EQ(oes->getPbus()[1]->getOperatorNumber(), "A0000000004");
    EXPECT_EQ(oes->getOesStatus(), "未知");
}

TEST_F(Communicator, AMissingConfigurationGivesNoPbus)
{
    EXPECT_TRUE(make("Y", OES_NAME_A)->getPbus().empty());
}

TEST_F(Communicator, ProcessNamesAreComparedWithoutRegardToCase)
{
    auto a = make("Y", OES_NAME_A);
    auto b = make("Y", OES_NAME_B);
    EXPECT_EQ(a->readProcessState({test::process("tarvo_ashr.exe")}), RUNNING);
    EXPECT_EQ(a->readProcessState({test::process("bash", "TARVO_ASHR.EXE")}), RUNNING);
    EXPECT_EQ(a->readProcessState({test::process("Tarvo_BSHR.exe")}), STOPPED);
    EXPECT_EQ(b->readProcessState({test::process("Tarvo_BSHR.exe")}), RUNNING);
    EXPECT_EQ(a->readProcessState({}), STOPPED);
}

TEST_F(Communicator, RefreshReadsTheStatusFileWhileTheProgramRuns)
{
    inst.writeLines("cfgA/SystemConfiguration.ini",
                    {"[System]", "OperatorCounts=1", "[oper1]", "OperCode=A0000000002"});
    inst.write("monitor/ASHR_status.txt", STATUS_TEXT);
    auto oes = make("Y", OES_NAME_A);
    oes->refresh({test::process("Tarvo_ASHR.exe")});
    EXPECT_EQ(oes->getOesStatus(), RUNNING);
    EXPECT_EQ(oes->getOesVersion(), "V2.3.1");
    EXPECT_EQ(oes->getOesType(), "SHR");
    EXPECT_EQ(oes->getWarningLevel(), "2");
    EXPECT_EQ(oes->getPbus()[0]->getPbuBidNumber(), "120");

    // Stopped: the state changes; the file still gives the PBU status but no counters.
    oes->refresh({});
    EXPECT_EQ(oes->getOesStatus(), STOPPED);
    EXPECT_EQ(oes->getWarningLevel(), "0");
    EXPECT_EQ(oes->getPbus()[0]->getPbuStatus(), "3");
    EXPECT_EQ(oes->getPbus()[0]->getPbuBidNumber(), "");

    // Status file gone: version and type stay as they were.
    inst.remove("monitor/ASHR_status.txt");
    oes->refresh({test::process("Tarvo_ASHR.exe")});
    EXPECT_EQ(oes->getOesStatus(), RUNNING);
    EXPECT_EQ(oes->getOesVersion(), "V2.3.1");
    EXPECT_EQ(oes->getWarningLevel(), "0");
}

TEST_F(Communicator, AnUnwatchedProgramIsNotPresentEvenWhileRunning)
{
    auto oes = make("N", OES_NAME_A);
    oes->refresh({test::process("Tarvo_ASHR.exe")});
    EXPECT_EQ(oes->getOesStatus(), "不存在");
    EXPECT_EQ(oes->getOesExist(), "N");
}

} // namespace
} // namespace tarvo
