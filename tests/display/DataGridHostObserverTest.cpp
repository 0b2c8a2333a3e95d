// The grid observer: host rows, PBU rows, change flags, counts, beeps and the operator's place.
#include "display/DataGridHostAdder.h"
#include "display/DataGridHostObserver.h"
#include "display/GridTables.h"
#include "host/HostSubject.h"
#include "../host/PackageBuilders.h"

#include <gtest/gtest.h>

namespace tarvo {
namespace {

using testing::oes;
using testing::package;
using testing::pbu;
const std::string A = OES_NAME_A;
const std::string B = OES_NAME_B;

struct Answer {
    std::string hostStatus = "运行", cpu = "10", envNo = "0";
    Oes a = oes("Y", A, "运行", "VA", "1");
    Oes b = oes("Y", B, "停止", "VB", "2");
    std::vector<Pbu> pbus;
};

struct Observer : ::testing::Test {
    HostSubject& addHost(const std::string& ip)
    {
        hostList.push_back(std::make_unique<HostSubject>("h" + ip, ip, "10012"));
        adder.update(*hostList.back());
        return *hostList.back();
    }
    void answer(HostSubject& h, const Answer& s)
    {
        apply(h, s);
        h.notify();
    }
    void apply(HostSubject& h, const Answer& s)
    {
        h.setHostStatus(s.hostStatus);
        h.setCpuUsage(s.cpu);
        h.setMemoryUsage("20");
        h.setDiskUsage("30");
        h.setEnvNo(s.envNo);
        h.updateOes(package(std::vector<Oes>{s.a, s.b}));
        h.updatePbus(package(s.pbus));
    }
    const std::string& hostCell(const std::string& ip, std::string_view field)
    {
        return hosts->valueAt(hosts->findAll("ChannelIP", ip).at(0), field);
    }
    const std::string& pbuCell(const std::string& key, std::string_view field)
    {
        return pbus->valueAt(pbus->findAll("PbuIden", key).at(0), field);
    }
    void check(const std::string& key)
    {
        pbus->setValueById(pbus->recIdAt(pbus->findAll("PbuIden", key).at(0)), "Checked", "True");
        ++checkedPbuCount;
    }
    std::string flags(const Pbu& p)
    {
        return p.oesStatusChanged + p.statusChanged + p.csIPChanged + p.localIPChanged
               + p.submittedChanged + p.responsedChanged + p.cjhbChanged;
    }

    std::unique_ptr<RecordSet> hosts = makeHostTable();
    std::unique_ptr<RecordSet> pbus = makePbuTable();
    GridState hostGrid{*hosts};
    GridState pbuGrid{*pbus};
    int checkedPbuCount = 0;
    int alarms = 0;
    int pendingBeeps = 0;
    DataGridHostObserver observer{*hosts, *pbus, hostGrid, pbuGrid, checkedPbuCount, [this] {
                                      pendingBeeps = 5;
                                      ++alarms;
                                  }};
    DataGridHostAdder adder{*hosts, &observer};
    std::vector<std::unique_ptr<HostSubject>> hostList;
    const std::string ip = "10.0.0.1";
    const std::string keyA1 = A + "12345000001" + ip, keyA2 = A + "12345000002" + ip;
    const std::string keyB1 = B + "22222000001" + ip;
};

TEST_F(Observer, FirstFillWritesTheHostRowAndAppendsEveryPbuFlaggedAsChanged)
{
    HostSubject& h = addHost(ip);
    answer(h, {.pbus = {pbu(A, "12345000001", "3"), pbu(A, "12345000002", "1"),
                        pbu(B, "22222000001", "3")}});
    const std::vector<std::pair<std::string, std::string>> hostRow = {
        {"OESStatusA", "运行"}, {"OESStatusB", "停止"}, {"OESVersion", "VA"},
        {"EnvNo", "生产环境"}, {"CpuUsage", "10%"}, {"MemoryUsage", "20%"}, {"DiskUsage", "30%"},
        {"WarningLevelA", "1"}, {"WarningLevelB", "2"}, {"PbuPrinted", "true"},
        {"activePBUs", "1"}, {"InactivePBUs", "1"}, {"Connection", "未连接"}};
    for (const auto& [field, text] : hostRow)
        EXPECT_EQ(hostCell(ip, field), text) << field;
    EXPECT_EQ(h.cpuUsageChanged + h.memoryUsageChanged + h.diskUsageChanged
                  + h.activePbusChanged + h.inactivePbusChanged, "TTTTT");
    EXPECT_EQ(h.activePbuCount, 1);
    EXPECT_EQ(h.inactivePbuCount, 1);

    ASSERT_EQ(pbus->count(), 3);
    const std::vector<std::pair<std::string, std::string>> pbuRow = {
        {"OES", A}, {"HostIp", ip}, {"ID", "12345"}, {"Operator", "000001"}, {"Status", "运行"},
        {"Submitted", "10"}, {"Responsed", "9"}, {"CJHB", "8"}, {"MaxIndex", "100"},
        {"OESStatus", "运行"}, {"CSIP", "10.1.1.1"}, {"LocalIP", "10.2.2.2"},
        {"Capability", "50"}, {"Work", "w"}, {"WarningLevel", "1"}, {"Checked", ""}};
    for (const auto& [field, text] : pbuRow)
        EXPECT_EQ(pbuCell(keyA1, field), text) << field;
    // The B-share program is stopped: its PBU is unknown whatever it reported.
    EXPECT_EQ(pbuCell(keyB1, "Status"), "未知");
    EXPECT_EQ(pbuCell(keyB1, "OESStatus"), "停止");
    EXPECT_EQ(h.getPbuList()[2]->getPbuStatus(), "0");
    for (const auto& p : h.getPbuList())
        EXPECT_EQ(flags(*p), "TTTTTTT");
    EXPECT_EQ(alarms, 0);
    EXPECT_FALSE(hosts->suspended() || pbus->suspended());
}

TEST_F(Observer, EqualAnswersClearTheFlagsAndChangedCellsRaiseOnlyTheirOwn)
{
    HostSubject& h = addHost(ip);
    Answer s{.pbus = {pbu(A, "12345000001", "3", "10"), pbu(A, "12345000002", "3")}};
    answer(h, s);
    answer(h, s);
    EXPECT_EQ(hostCell(ip, "CpuUsage"), "10%");
    EXPECT_EQ(h.cpuUsageChanged + h.activePbusChanged, "FF");
    EXPECT_EQ(flags(*h.getPbuList()[0]) + flags(*h.getPbuList()[1]), std::string(14, 'F'));

    s.cpu = "11";
    s.pbus[0] = pbu(A, "12345000001", "1", "12");
    s.pbus.push_back(pbu(A, "12345000003", "3"));  // new in a refresh: every flag raised
    answer(h, s);
    EXPECT_EQ(hostCell(ip, "CpuUsage"), "11%");
    EXPECT_EQ(h.cpuUsageChanged + h.memoryUsageChanged, "TF");
    EXPECT_EQ(hostCell(ip, "activePBUs"), "2");
    EXPECT_EQ(hostCell(ip, "InactivePBUs"), "1");
    EXPECT_EQ(h.activePbusChanged + h.inactivePbusChanged, "FT");
    EXPECT_EQ(flags(*h.getPbuList()[0]), "FTFFTFF");
    EXPECT_EQ(flags(*h.getPbuList()[1]), "FFFFFFF");
    EXPECT_EQ(flags(*h.getPbuList()[2]), "TTTTTTT");
    EXPECT_EQ(pbuCell(keyA1, "Submitted"), "12");
    EXPECT_EQ(pbus->count(), 3);
}

TEST_F(Observer, MissingPbuLosesItsRowAndCheckAndComesBackUnchecked)
{
    HostSubject& h = addHost(ip);
    answer(h, {.pbus = {pbu(A, "12345000001"), pbu(A, "12345000002")}});
    answer(h, {.pbus = {pbu(A, "12345000001"), pbu(A, "12345000002")}});
    check(keyA1);
    check(keyA2);
    answer(h, {.pbus = {pbu(A, "12345000002")}});
    EXPECT_EQ(pbus->findAll("PbuIden", keyA1).size(), 0u);
    EXPECT_EQ(checkedPbuCount, 1);
    EXPECT_EQ(hostCell(ip, "activePBUs"), "1");
    answer(h, {.pbus = {pbu(A, "12345000001"), pbu(A, "12345000002")}});
    EXPECT_EQ(pbuCell(keyA1, "Checked"), "");
    EXPECT_EQ(pbuCell(keyA2, "Checked"), "True");
    EXPECT_EQ(checkedPbuCount, 1);
}

TEST_F(Observer, ReconnectFirstFillCountsOnlyAppendedRowsAndTheNextCountsAll)
{
    HostSubject& h = addHost(ip);
    answer(h, {.pbus = {pbu(A, "12345000001", "3", "10")}});
    // What disconnecting leaves in the row.
    for (const char* field : {"activePBUs", "InactivePBUs", "PbuPrinted"})
        hosts->setValueById(hosts->recIdAt(0), field, "");
    h.setStopped();
    Answer again{.pbus = {pbu(A, "12345000001", "3", "99"), pbu(A, "12345000002", "1")}};
    answer(h, again);
    EXPECT_EQ(hostCell(ip, "PbuPrinted"), "true");
    EXPECT_EQ(hostCell(ip, "activePBUs") + hostCell(ip, "InactivePBUs"), "01");
    EXPECT_EQ(pbuCell(keyA1, "Submitted"), "10");  // the kept row waits for the refresh
    answer(h, again);
    EXPECT_EQ(hostCell(ip, "activePBUs") + hostCell(ip, "InactivePBUs"), "11");
    EXPECT_EQ(pbuCell(keyA1, "Submitted"), "99");
}

class StoppedHost : public Observer, public ::testing::WithParamInterface<const char*> {};
TEST_P(StoppedHost, OnlyTheNameIsRewrittenAndTheOperatorKeepsHisPlace)
{
    HostSubject& h = addHost(ip);
    addHost("10.0.0.2");
    answer(h, {.pbus = {pbu(A, "12345000001"), pbu(A, "12345000002")}});
    hosts->locate("ChannelIP", "10.0.0.2");
    pbus->locate("PbuIden", keyA2);
    hostGrid.setFirstVisibleRow(1);
    pbuGrid.setFirstVisibleRow(1);
    h.setHostName("新名字");
    answer(h, {.hostStatus = GetParam(), .cpu = "77", .pbus = {pbu(A, "12345000003")}});
    EXPECT_EQ(hostCell(ip, "hostName"), "新名字");
    EXPECT_EQ(hostCell(ip, "CpuUsage"), "10%");
    EXPECT_EQ(h.cpuUsageChanged, "T");
    EXPECT_EQ(pbus->count(), 2);
    EXPECT_EQ(hosts->value("ChannelIP"), "10.0.0.2");
    EXPECT_EQ(pbus->value("PbuIden"), keyA2);
    EXPECT_EQ(hostGrid.firstVisibleRow() + pbuGrid.firstVisibleRow(), 2);
}
INSTANTIATE_TEST_SUITE_P(Observer, StoppedHost, ::testing::Values("未知", "停止"));

class EnvNo : public Observer,
              public ::testing::WithParamInterface<std::pair<const char*, const char*>> {};
TEST_P(EnvNo, ShowsProductionNoneOrTheReceivedText)
{
    HostSubject& h = addHost(ip);
    answer(h, {.envNo = GetParam().first, .pbus = {}});
    EXPECT_EQ(hostCell(ip, "EnvNo"), GetParam().second);
}
INSTANTIATE_TEST_SUITE_P(
    Observer, EnvNo,
    ::testing::Values(std::pair{"0", "生产环境"}, std::pair{"00", "生产环境"},
                      std::pair{"-0", "生产环境"}, std::pair{" 0 ", "生产环境"},
                      std::pair{"-1", ""}, std::pair{"-01", ""}, std::pair{"3", "测试环境[3]"},
                      std::pair{"03", "测试环境[03]"}, std::pair{"-2", "测试环境[-2]"},
                      std::pair{"abc", "测试环境[abc]"}, std::pair{"1.5", "测试环境[1.5]"},
                      std::pair{"", "测试环境[]"},
                      std::pair{"123456789012345678901", "测试环境[123456789012345678901]"}));

struct VersionCase {
    const char* a;
    const char* b;
    const char* version;
};
class OesVersion : public Observer, public ::testing::WithParamInterface<VersionCase> {};
TEST_P(OesVersion, IsTheRunningProgramsPreferringA)
{
    HostSubject& h = addHost(ip);
    answer(h, {.a = oes("Y", A, GetParam().a, "VA"), .b = oes("Y", B, GetParam().b, "VB"),
               .pbus = {}});
    EXPECT_EQ(hostCell(ip, "OESVersion"), GetParam().version);
    EXPECT_EQ(hostCell(ip, "OESStatusA") + hostCell(ip, "OESStatusB"),
              std::string(GetParam().a) + GetParam().b);
}
INSTANTIATE_TEST_SUITE_P(Observer, OesVersion,
                         ::testing::Values(VersionCase{"停止", "运行", "VB"},
                                           VersionCase{"运行", "运行", "VA"},
                                           VersionCase{"运行", "停止", "VA"},
                                           VersionCase{"停止", "初始化中", ""}));

class OperatorNumber
    : public Observer,
      public ::testing::WithParamInterface<std::tuple<const char*, const char*, const char*>> {};
TEST_P(OperatorNumber, SplitsIntoPbuCodeAndOperatorCode)
{
    const auto [number, id, operatorCode] = GetParam();
    answer(addHost(ip), {.pbus = {pbu(A, number)}});
    EXPECT_EQ(pbuCell(A + number + ip, "ID"), id);
    EXPECT_EQ(pbuCell(A + number + ip, "Operator"), operatorCode);
}
INSTANTIATE_TEST_SUITE_P(Observer, OperatorNumber,
                         ::testing::Values(std::tuple{"12345678901", "12345", "678901"},
                                           std::tuple{"12345", "12345", ""},
                                           std::tuple{"123", "123", ""},
                                           std::tuple{"1234567890123", "12345", "678901"}));

using StatusCase = std::tuple<const char*, const char*, int, int>;
class PbuStatus : public Observer, public ::testing::WithParamInterface<StatusCase> {};
TEST_P(PbuStatus, ShowsTheWordOrTheCodeAndCountsOnlyWords)
{
    const auto [code, text, active, sleeping] = GetParam();
    HostSubject& h = addHost(ip);
    answer(h, {.pbus = {pbu(A, "12345000001", code)}});
    EXPECT_EQ(pbuCell(keyA1, "Status"), text);
    EXPECT_EQ(h.activePbuCount, active);
    EXPECT_EQ(h.inactivePbuCount, sleeping);
}
INSTANTIATE_TEST_SUITE_P(Observer, PbuStatus,
                         ::testing::Values(std::tuple{"3", "运行", 1, 0}, std::tuple{"1", "停止", 0, 1},
                                           std::tuple{"2", "初始化中", 0, 0},
                                           std::tuple{"6", "6", 0, 0}, std::tuple{"-1", "-1", 0, 0},
                                           std::tuple{"03", "运行", 1, 0}, std::tuple{"01", "停止", 0, 1},
                                           std::tuple{"06", "06", 0, 0}, std::tuple{"x", "x", 0, 0},
                                           std::tuple{"运行", "运行", 0, 0}));

TEST_F(Observer, PbuOfAProgramNotInTheAnswerGetsARowWithoutStateOrCount)
{
    HostSubject& h = addHost(ip);
    answer(h, {.pbus = {pbu("C股报盘程序", "12345000001", "3")}});
    const std::string key = "C股报盘程序12345000001" + ip;
    EXPECT_EQ(pbuCell(key, "OESStatus") + pbuCell(key, "Status"), "");
    EXPECT_EQ(pbuCell(key, "Submitted"), "10");
    EXPECT_EQ(hostCell(ip, "activePBUs"), "0");
}

struct BeepCase {
    const char* firstOes;
    const char* firstPbu;
    const char* laterOes;
    const char* laterPbu;
    int alarms;
};
class Beep : public Observer, public ::testing::WithParamInterface<BeepCase> {};
TEST_P(Beep, SoundsWhenAKnownStateBecomesStopped)
{
    const BeepCase& c = GetParam();
    HostSubject& h = addHost(ip);
    answer(h, {.a = oes("Y", A, c.firstOes), .pbus = {pbu(A, "12345000001", c.firstPbu)}});
    // A PBU that first shows up in a refresh, already stopped, never beeps.
    answer(h, {.a = oes("Y", A, c.laterOes),
               .pbus = {pbu(A, "12345000001", c.laterPbu), pbu(A, "12345000009", "1")}});
    EXPECT_EQ(alarms, c.alarms);
    EXPECT_EQ(pendingBeeps, c.alarms ? 5 : 0);
}
INSTANTIATE_TEST_SUITE_P(Observer, Beep,
                         ::testing::Values(BeepCase{"运行", "3", "运行", "1", 1},  // PBU stops
                                           BeepCase{"运行", "1", "运行", "1", 0},  // already stopped
                                           BeepCase{"运行", "0", "运行", "1", 0},  // 未知 → 停止
                                           BeepCase{"运行", "3", "停止", "3", 1},  // program stops
                                           BeepCase{"未知", "3", "停止", "3", 0},
                                           BeepCase{"运行", "x", "运行", "1", 1},
                                           BeepCase{"运行", "3", "运行", "停止", 0}));

TEST_F(Observer, BothGridsKeepTheOperatorsRowAndScrollThroughDeletesAndAppends)
{
    struct Moves : RecordSetListener {
        void rowsInserted(int, int) override { ++inserted; }
        void rowsRemoved(int, int) override {}
        void rowsChanged(int, int, const std::vector<int>&) override {}
        void reset() override {}
        void currentChanged() override { ++moves; }
        int inserted = 0, moves = 0;
    } hostMoves, pbuMoves;
    HostSubject& h = addHost(ip);
    HostSubject& other = addHost("10.0.0.2");
    answer(other, {.pbus = {pbu(B, "22222000001")}});
    answer(h, {.pbus = {pbu(A, "12345000001"), pbu(A, "12345000002")}});
    hosts->locate("ChannelIP", "10.0.0.2");
    pbus->locate("PbuIden", keyA2);
    hostGrid.setFirstVisibleRow(1);
    pbuGrid.setFirstVisibleRow(2);
    hosts->addListener(&hostMoves);
    pbus->addListener(&pbuMoves);
    answer(h, {.pbus = {pbu(A, "12345000002"), pbu(A, "12345000003"), pbu(A, "12345000004")}});
    EXPECT_EQ(hosts->value("ChannelIP"), "10.0.0.2");
    EXPECT_EQ(pbus->value("PbuIden"), keyA2);
    EXPECT_EQ(hostGrid.firstVisibleRow() * 10 + pbuGrid.firstVisibleRow(), 12);
    EXPECT_EQ(hostMoves.moves + pbuMoves.moves, 0);
    EXPECT_EQ(pbuMoves.inserted, 1);  // both new rows in one batch
    EXPECT_EQ(pbus->count(), 4);

    answer(h, {.pbus = {pbu(A, "12345000003")}});  // the operator's PBU row goes
    EXPECT_EQ(pbus->currentPosition(), 0);
}

TEST_F(Observer, HostWithoutRowIsLeftAlone)
{
    HostSubject stray("x", "10.9.9.9", "10012");
    stray.attach(&observer);
    answer(stray, {.pbus = {pbu(A, "12345000001")}});
    EXPECT_EQ(hosts->count() + pbus->count(), 0);
}

TEST_F(Observer, AnExceptionClosesBothBracketsAndDropsTheHalfWrittenRow)
{
    HostSubject& h = addHost(ip);
    answer(h, {.pbus = {pbu(A, "12345000001", "3")}});
    DataGridHostObserver throwing(*hosts, *pbus, hostGrid, pbuGrid, checkedPbuCount,
                                  [] { throw std::runtime_error("beep thread gone"); });
    apply(h, {.pbus = {pbu(A, "12345000001", "1")}});
    EXPECT_THROW(throwing.update(h), std::runtime_error);
    EXPECT_FALSE(hosts->suspended() || pbus->suspended());
    EXPECT_EQ(pbus->state(), RecordSet::State::Browse);
    EXPECT_EQ(hosts->state(), RecordSet::State::Browse);
    EXPECT_EQ(pbuCell(keyA1, "Status"), "运行");

    // A table without a field the fill writes is refused when the observer is made.
    auto fields = pbuTableFields();
    fields.pop_back();
    RecordSet narrow(fields);
    GridState narrowGrid(narrow);
    EXPECT_THROW(DataGridHostObserver(*hosts, narrow, hostGrid, narrowGrid, checkedPbuCount, {}),
                 std::out_of_range);
}

} // namespace
} // namespace tarvo
