// The grid adder and remover, driven through the host pool.
#include "display/DataGridHostAdder.h"
#include "display/DataGridHostRemover.h"
#include "display/GridTables.h"
#include "host/HostSubjectPool.h"

#include <gtest/gtest.h>

namespace tarvo {
namespace {

struct CountingObserver : HostObserver {
    void update(HostSubject& host) override { seen.push_back(host.getChannelIP()); }
    std::vector<std::string> seen;
};

struct Grids : testing::Test {
    Grids()
    {
        pool.addAdder(&adder);
        pool.addRemover(&remover);
    }
    HostSubject* addHost(const std::string& name, const std::string& ip)
    {
        auto host = std::make_unique<HostSubject>(name, ip, "10012");
        HostSubject* raw = host.get();
        EXPECT_TRUE(pool.add(host));
        return raw;
    }
    void addPbu(const std::string& hostIp, const std::string& operatorNumber, bool checked)
    {
        pbus->append();
        pbus->setValue("HostIp", hostIp);
        pbus->setValue("OES", "A股报盘程序");
        pbus->setValue("PbuIden", "A股报盘程序" + operatorNumber + hostIp);
        if (checked)
            pbus->setBool("Checked", true);
        pbus->post();
        if (checked)
            ++checkedPbuCount;
    }
    std::unique_ptr<RecordSet> hosts = makeHostTable();
    std::unique_ptr<RecordSet> pbus = makePbuTable();
    int checkedPbuCount = 0;
    CountingObserver observer;
    DataGridHostAdder adder{*hosts, &observer};
    DataGridHostRemover remover{*hosts, *pbus, checkedPbuCount};
    HostSubjectPool pool;
};

TEST_F(Grids, AddedHostGetsARowWithAddressNameAndNotConnected)
{
    HostSubject* host = addHost("上海一号", "10.1.2.3");
    ASSERT_EQ(hosts->count(), 1);
    ASSERT_TRUE(hosts->locate("ChannelIP", "10.1.2.3"));
    EXPECT_EQ(hosts->value("hostName"), "上海一号");
    EXPECT_EQ(hosts->value("Connection"), "未连接");
    for (const auto& f : hosts->fields()) {
        if (f.name != "ChannelIP" && f.name != "hostName" && f.name != "Connection") {
            EXPECT_EQ(hosts->value(f.name), "") << f.name;
        }
    }
    EXPECT_FALSE(hosts->asBool("HOSTColumnCheck"));
    // The grid observer hears the host's later notifications.
    host->notify();
    EXPECT_EQ(observer.seen, (std::vector<std::string>{"10.1.2.3"}));
}

TEST_F(Grids, AdderWithoutObserverOnlyAddsTheRow)
{
    DataGridHostAdder plain(*hosts, nullptr);
    HostSubject host("h", "10.0.0.9", "10012");
    plain.update(host);
    EXPECT_TRUE(host.getObservers().empty());
    EXPECT_TRUE(hosts->locate("ChannelIP", "10.0.0.9"));
}

TEST_F(Grids, RemovingAHostDeletesItsRowAndPbuRowsAndCountsCheckedOnes)
{
    HostSubject* a = addHost("a", "10.0.0.1");
    addHost("b", "10.0.0.2");
    addPbu("10.0.0.1", "12345000001", true);
    addPbu("10.0.0.2", "22222000001", true);
    addPbu("10.0.0.1", "12345000002", false);
    addPbu("10.0.0.1", "12345000003", true);
    ASSERT_EQ(checkedPbuCount, 3);

    ASSERT_TRUE(pool.remove(a));
    EXPECT_EQ(hosts->count(), 1);
    EXPECT_FALSE(hosts->locate("ChannelIP", "10.0.0.1"));
    EXPECT_EQ(pbus->count(), 1);
    EXPECT_FALSE(pbus->locate("HostIp", "10.0.0.1"));
    EXPECT_EQ(pbus->valueAt(0, "HostIp"), "10.0.0.2");
    EXPECT_EQ(checkedPbuCount, 1);  // two checked rows went
}

TEST_F(Grids, RemovingKeepsTheOperatorsPbuRowWhenItSurvives)
{
    HostSubject* a = addHost("a", "10.0.0.1");
    addHost("b", "10.0.0.2");
    addPbu("10.0.0.2", "22222000001", false);
    RecId operatorRow = pbus->currentRecId();
    addPbu("10.0.0.1", "12345000001", false);
    addPbu("10.0.0.2", "22222000002", false);
    pbus->locateRecId(operatorRow);
    pool.remove(a);
    EXPECT_EQ(pbus->currentRecId(), operatorRow);
    EXPECT_EQ(pbus->count(), 2);
}

TEST_F(Grids, RemovingLeavesTheHostCursorOnTheFollowingRow)
{
    addHost("a", "10.0.0.1");
    HostSubject* b = addHost("b", "10.0.0.2");
    addHost("c", "10.0.0.3");
    pool.remove(b);
    EXPECT_EQ(hosts->value("ChannelIP"), "10.0.0.3");
}

TEST_F(Grids, RemovingAHostWithoutRowDeletesNoOtherRow)
{
    addHost("a", "10.0.0.1");
    addPbu("10.0.0.1", "12345000001", true);
    HostSubject stray("x", "10.9.9.9", "10012");
    remover.update(stray);
    EXPECT_EQ(hosts->count(), 1);
    EXPECT_EQ(pbus->count(), 1);
    EXPECT_EQ(checkedPbuCount, 1);
}

TEST_F(Grids, RemovingReportsThePbuRowsAsOneBatch)
{
    struct Events : RecordSetListener {
        void rowsInserted(int, int) override { ++inserted; }
        void rowsRemoved(int, int) override { ++removed; }
        void rowsChanged(int, int, const std::vector<int>&) override {}
        void reset() override {}
        int inserted = 0;
        int removed = 0;
    } events;
    HostSubject* a = addHost("a", "10.0.0.1");
    for (int i = 0; i < 5; ++i)
        addPbu("10.0.0.1", "1234500000" + std::to_string(i), false);
    pbus->addListener(&events);
    pool.remove(a);
    pbus->removeListener(&events);
    EXPECT_EQ(events.removed, 1);
    EXPECT_TRUE(pbus->isEmpty());
}

} // namespace
} // namespace tarvo
