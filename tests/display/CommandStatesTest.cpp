// Enabled state of the console's commands and the counters text, from the host table.
#include "display/CommandStates.h"
#include "display/GridTables.h"

#include <gtest/gtest.h>

namespace tarvo {
namespace {

struct Tables : testing::Test {
    void host(const std::string& ip, bool checked, const std::string& connection,
              const std::string& a = "", const std::string& b = "")
    {
        hosts->append();
        hosts->setValue("ChannelIP", ip);
        if (checked)
            hosts->setBool("HOSTColumnCheck", true);
        hosts->setValue("Connection", connection);
        hosts->setValue("OESStatusA", a);
        hosts->setValue("OESStatusB", b);
        hosts->post();
    }
    CommandStates hostPage()
    {
        return computeCommandStates(CommandMode::AfterChange, MainPage::Host, *hosts, *pbus,
                                    countChecked(*hosts, kHostCheckField), 0);
    }
    std::unique_ptr<RecordSet> hosts = makeHostTable();
    std::unique_ptr<RecordSet> pbus = makePbuTable();
};

TEST_F(Tables, StartUpDisablesHostCommandsAndShowsTheVersion)
{
    host("10.0.0.1", true, "已连接", "运行", "运行");
    auto s = computeCommandStates(CommandMode::StartUp, MainPage::Pbu, *hosts, *pbus, 1, 0);
    EXPECT_EQ(s.versionPanel, std::optional<std::string>("版本：2009版   "));
    EXPECT_EQ(s.activePage, MainPage::Host);
    for (auto item : {s.hostStatusView, s.hostDetail, s.menuConnect, s.menuDisconnect,
                      s.deleteHost, s.connect, s.disconnect})
        EXPECT_EQ(item, std::optional<bool>(false));
    EXPECT_FALSE(s.addHost.has_value());
    EXPECT_FALSE(s.pbuStatusView.has_value());
    EXPECT_EQ(s.countersPanel, "HOST:1/1 PBU:0/0");
}

TEST_F(Tables, TwoCheckedConnectedHostsCanDisconnectButNotShowDetails)
{
    host("10.0.0.1", true, "已连接", "运行", "停止");
    host("10.0.0.2", true, "已连接", "运行", "未知");
    host("10.0.0.3", false, "未连接");
    auto s = hostPage();
    EXPECT_EQ(s.disconnect, true);
    EXPECT_EQ(s.menuDisconnect, true);
    EXPECT_EQ(s.connect, false);
    EXPECT_EQ(s.hostDetail, false);
    EXPECT_EQ(s.addHost, true);
    EXPECT_EQ(s.deleteHost, true);
    EXPECT_EQ(s.hostStatusView, false);
    EXPECT_EQ(s.pbuStatusView, true);
}

TEST_F(Tables, OneCheckedConnectedHostWithBothProgramStatesCanShowDetails)
{
    host("10.0.0.1", true, "已连接", "运行", "停止");
    host("10.0.0.2", false, "已断开");
    EXPECT_EQ(hostPage().hostDetail, true);
}

TEST_F(Tables, DetailsNeedBothProgramStates)
{
    host("10.0.0.1", true, "已连接", "运行", "");
    auto s = hostPage();
    EXPECT_EQ(s.hostDetail, false);
    EXPECT_EQ(s.disconnect, true);
}

TEST_F(Tables, CheckedHostsThatAreNotConnectedCanConnect)
{
    host("10.0.0.1", true, "已断开");
    host("10.0.0.2", true, "未连接");
    auto s = hostPage();
    EXPECT_EQ(s.connect, true);
    EXPECT_EQ(s.menuConnect, true);
    EXPECT_EQ(s.disconnect, false);
    EXPECT_EQ(s.hostDetail, false);
}

TEST_F(Tables, UncheckedHostsEnableNothingButAdding)
{
    host("10.0.0.1", false, "已连接", "运行", "运行");
    auto s = hostPage();
    EXPECT_EQ(s.connect, false);
    EXPECT_EQ(s.disconnect, false);
    EXPECT_EQ(s.hostDetail, false);
    EXPECT_EQ(s.deleteHost, false);
    EXPECT_EQ(s.addHost, true);
}

TEST_F(Tables, EmptyHostTableDisablesConnectingAndLeavesDetailsAlone)
{
    auto s =
        computeCommandStates(CommandMode::AfterChange, MainPage::Host, *hosts, *pbus, 0, 0);
    EXPECT_EQ(s.connect, false);
    EXPECT_EQ(s.disconnect, false);
    EXPECT_EQ(s.menuConnect, false);
    EXPECT_EQ(s.menuDisconnect, false);
    EXPECT_FALSE(s.hostDetail.has_value());
    EXPECT_EQ(s.countersPanel, "HOST:0/0 PBU:0/0");
}

TEST_F(Tables, PbuPageDisablesHostCommands)
{
    host("10.0.0.1", true, "已连接", "运行", "运行");
    auto s =
        computeCommandStates(CommandMode::AfterChange, MainPage::Pbu, *hosts, *pbus, 1, 0);
    for (auto item : {s.connect, s.disconnect, s.addHost, s.deleteHost, s.hostDetail,
                      s.pbuStatusView, s.menuConnect, s.menuDisconnect})
        EXPECT_EQ(item, std::optional<bool>(false));
    EXPECT_EQ(s.hostStatusView, true);
    EXPECT_FALSE(s.versionPanel.has_value());
}

TEST_F(Tables, WalkingTheTableLeavesTheCursor)
{
    host("10.0.0.1", true, "已连接");
    host("10.0.0.2", true, "已断开");
    hosts->first();
    hostPage();
    EXPECT_EQ(hosts->value("ChannelIP"), "10.0.0.1");
}

TEST(CountersText, ReadsHostAndPbuCounts)
{
    EXPECT_EQ(countersText(2, 5, 0, 14), "HOST:2/5 PBU:0/14");
}

} // namespace
} // namespace tarvo
