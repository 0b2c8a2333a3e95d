// The status request's execution with injected counters, clock and process list.
#include "AgentTestSupport.h"

#include "agent/AgentConfig.h"
#include "agent/AgentExecutors.h"
#include "agent/HostControl.h"
#include "agent/SystemStatus.h"
#include "host/StatusNames.h"
#include "protocol/Message.h"

#include <gtest/gtest.h>

#include <deque>

namespace tarvo {
namespace {

using test::Installation;

class FakeResources : public HostResources
{
public:
    std::deque<std::optional<CpuTimes>> cpu;
    std::optional<MemInfo> memory;
    std::optional<DiskSpace> disk;
    std::string diskQueriedFor;

    std::optional<CpuTimes> readCpuTimes() override
    {
        if (cpu.empty())
            return std::nullopt;
        auto next = cpu.front();
        cpu.pop_front();
        return next;
    }
    std::optional<MemInfo> readMemInfo() override { return memory; }
    std::optional<DiskSpace> readDiskSpace(const std::string &directory) override
    {
        diskQueriedFor = directory;
        return disk;
    }
};

TEST(SystemStatus, CpuUsageIsTheNonIdleShareSinceThePreviousSample)
{
    auto resources = std::make_shared<FakeResources>();
    resources->cpu = {CpuTimes{900, 1000}, CpuTimes{950, 1200}, CpuTimes{950, 1200},
                      CpuTimes{10, 20}, CpuTimes{20, 120}, std::nullopt};
    SystemStatus status(resources);
    EXPECT_EQ(status.sample(), 10);  // since boot: 100 of 1000 busy
    EXPECT_EQ(status.sample(), 75);  // 150 of 200 busy
    EXPECT_EQ(status.sample(), 0);   // no time passed
    EXPECT_EQ(status.sample(), 0);   // counters went backwards
    EXPECT_EQ(status.sample(), 90);  // measured from the reset sample
    EXPECT_EQ(status.sample(), 0);   // unreadable
}

TEST(SystemStatus, MemoryAndDiskUsageAreTruncatedPercentages)
{
    auto resources = std::make_shared<FakeResources>();
    resources->memory = MemInfo{3000, 1000};
    resources->disk = DiskSpace{3, 1};
    SystemStatus status(resources);
    EXPECT_EQ(status.memoryUsage(), 66);
    EXPECT_EQ(status.diskUsageOf("/some/dir/"), 66);
    EXPECT_EQ(resources->diskQueriedFor, "/some/dir/");
    resources->memory.reset();
    resources->disk.reset();
    EXPECT_EQ(status.memoryUsage(), 0);
    EXPECT_EQ(status.diskUsageOf("/missing"), 0);
}

TEST(SystemStatus, RealCountersGivePercentages)
{
    SystemStatus status;
    for (int figure : {status.sample(), status.sample(), status.memoryUsage(),
                       status.diskUsageOf("/"), status.diskUsageOf("/no/such/volume/x")}) {
        EXPECT_GE(figure, 0);
        EXPECT_LE(figure, 100);
    }
    EXPECT_EQ(status.diskUsageOf("/no/such/volume/x"), 0);
}

TEST(HostControl, HostTimeIsZeroPaddedAndEndsWithABlank)
{
    HostControl clock([] { return LocalTime{2024, 3, 5, 7, 8, 9}; });
    EXPECT_EQ(clock.hostTime(), "2024-03-05 07:08:09 ");
    EXPECT_EQ(HostControl().hostTime().size(), 20u);
    EXPECT_EQ(HostControl().hostTime().back(), ' ');
}

class StatusExecution : public ::testing::Test
{
protected:
    Installation inst;
    std::shared_ptr<FakeResources> resources = std::make_shared<FakeResources>();
    std::shared_ptr<test::FakeProcessList> processes = std::make_shared<test::FakeProcessList>();
    HostControl clock{[] { return LocalTime{2024, 12, 31, 23, 59, 58}; }};

    void SetUp() override
    {
        resources->cpu = {CpuTimes{50, 100}};
        resources->memory = MemInfo{1000, 250};
        resources->disk = DiskSpace{100, 10};
    }
};

TEST_F(StatusExecution, AnswersWithHostFiguresAndBothPrograms)
{
    inst.layOutBothPrograms();
    inst.writeLines("monitor/BSHR_status.txt",
                    {"[TIME]", "Time=20240315-09:30:05", "[OESStatus]", "OESVersion=B1",
                     "OESType=BSHR", "OperatorTotal=1", "WarningLevel=3", "[OperatorStatus.1]",
                     "Operator=B0000000001", "Status=3", "OrdNumSubmitted=5"});
    AgentConfig config(inst.iniPath());
    config.load();
    processes->processes = {test::process("Tarvo_BSHR.exe")};
    config.setProcessList(processes);
    SystemStatus system(resources);

    auto body = executeStatusRequest(config, system, clock, std::chrono::milliseconds(0));
    ASSERT_TRUE(body);
    EXPECT_EQ(body->getHostStatus(), "正常运行");
    EXPECT_EQ(body->getHostTime(), "2024-12-31 23:59:58 ");
    EXPECT_EQ(body->getCpuUsage(), "50");
    EXPECT_EQ(body->getMemoryUsage(), "75");
    EXPECT_EQ(body->getDiskUsage(), "90");
    EXPECT_EQ(resources->diskQueriedFor, inst.base());
    EXPECT_EQ(body->getEnvNo(), "12");
    EXPECT_EQ(body->getOesPackage(), config.getOesPackage());
    EXPECT_EQ(body->getPbuPackage(), config.getPbuPackage());

    // The body travels: encode it and decode what the console would receive.
    Message message(PROTOCOL_VERSION, "S", "7", std::move(body));
    std::string wire = message.encode();
    Message decoded;
    ASSERT_GT(decoded.decode(wire), 0);
    auto &response = dynamic_cast<StatusResponseMessageBody &>(*decoded.getBody());
    size_t position = 1;
    Oes a, b;
    a.readItem(response.getOesPackage(), position);
    b.readItem(response.getOesPackage(), position);
    EXPECT_EQ(a.getOesStatus(), "停止");
    EXPECT_EQ(b.getOesStatus(), "运行");
    EXPECT_EQ(b.getOesVersion(), "B1");
    EXPECT_EQ(b.getWarningLevel(), "3");
    std::string pbus = response.getPbuPackage();
    position = 1;
    Pbu pbu;
    pbu.readItem(pbus, position);
    pbu.readItem(pbus, position);
    pbu.readItem(pbus, position);
    EXPECT_EQ(pbu.getOperatorNumber(), "B0000000001");
    EXPECT_EQ(pbu.getOesType(), "BSHR");
    EXPECT_EQ(pbu.getPbuBidNumber(), "5");
    EXPECT_EQ(position, pbus.size() + 1);
}

TEST_F(StatusExecution, UnwatchedProgramsStillTravelAsTwoRecords)
{
    AgentConfig config(inst.iniPath());
    config.load();
    config.setProcessList(processes);
    SystemStatus system(resources);
    auto body = executeStatusRequest(config, system, clock, std::chrono::milliseconds(0));
    size_t position = 1;
    Oes a, b;
    a.readItem(body->getOesPackage(), position);
    b.readItem(body->getOesPackage(), position);
    EXPECT_EQ(position, body->getOesPackage().size() + 1);
    EXPECT_EQ(a.getOesName(), OES_NAME_A);
    EXPECT_EQ(a.getOesStatus(), "不存在");
    EXPECT_EQ(b.getOesName(), OES_NAME_B);
    EXPECT_EQ(body->getPbuPackage(), "");
    EXPECT_EQ(body->getEnvNo(), "00");
}

class ThrowingProcessList : public ProcessList
{
public:
    mutable int calls = 0;
    std::vector<ProcessInfo> snapshot() const override
    {
        if (++calls == 1)
            throw std::runtime_error("process list unavailable");
        return {test::process("Tarvo_ASHR.exe")};
    }
};

TEST_F(StatusExecution, AFailedRefreshIsRetriedOnce)
{
    inst.layOutBothPrograms();
    AgentConfig config(inst.iniPath());
    config.load();
    auto throwing = std::make_shared<ThrowingProcessList>();
    config.setProcessList(throwing);
    SystemStatus system(resources);
    auto body = executeStatusRequest(config, system, clock, std::chrono::milliseconds(0));
    EXPECT_EQ(throwing->calls, 2);
    EXPECT_EQ(config.getCommunicators()[0]->getOesStatus(), "运行");
    EXPECT_EQ(body->getOesPackage(), config.getOesPackage());
}

TEST(AgentExecutors, InstalledExecutorsAnswerThroughTheProtocol)
{
    Installation inst;
    AgentConfig::resetInstance();
    AgentConfig::setIniPath(inst.iniPath());
    installAgentExecutors();

    StatusRequestMessageBody request;
    auto answer = request.execute();
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->getMessageType(), "03");

    TroubleShootingRequestMessageBody version("svc", "AgentVersion");
    auto versionAnswer = version.execute();
    ASSERT_TRUE(versionAnswer);
    EXPECT_EQ(versionAnswer->getResult(), "0228305");

    StatusRequestMessageBody::setExecutor({});
    TroubleShootingRequestMessageBody::setExecutor({});
    AgentConfig::resetInstance();
    AgentConfig::setIniPath({});
}

} // namespace
} // namespace tarvo
