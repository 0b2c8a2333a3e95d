// Connecting, polling, disconnecting and heartbeats of the console over scripted sockets:
// table rows, log lines, requests on the wire, waiting commands and beeps.
#include "AgentTestSupport.h"

#include "framework/QtText.h"

#include <QAction>

namespace tarvo {
namespace {

using namespace tarvo::testing;
using test::Script;

const char *kLinkHosts = "h1,127.0.0.1,10012,N,N,0,\r\n"
                     "h2,127.0.0.2,10013,N,N,0,\r\n"
                     "h3,127.0.0.3,10012,N,N,0,\r\n";

class AgentLinksTest : public test::AgentConsole
{
protected:
    void tick(TF_Main &window, const std::string &ip)
    {
        RecordSet &hosts = window.hostTable();
        ASSERT_TRUE(hosts.locate("ChannelIP", ip));
        hosts.setValueById(hosts.currentRecId(), "HOSTColumnCheck", "True");
        ++window.checkedHostCount;
    }
    void select(TF_Main &window, const std::vector<std::string> &ips)
    {
        std::vector<RecId> ids;
        for (const std::string &ip : ips) {
            ASSERT_TRUE(window.hostTable().locate("ChannelIP", ip));
            ids.push_back(window.hostTable().currentRecId());
        }
        window.hostGridState().setSelection(ids);
    }
    void trigger(TF_Main &window, const std::string &caption)
    {
        QAction *action = window.actions().find(caption);
        ASSERT_NE(action, nullptr) << caption;
        action->setEnabled(true);
        action->trigger();
    }
    std::vector<Pbu> twoPbus(const std::string &bids = "10")
    {
        return {pbu(OES_NAME_A, "A0000000001", "3", bids), pbu(OES_NAME_B, "B0000000001", "3", bids)};
    }
};

TEST_F(AgentLinksTest, ConnectedAgentIsAskedAtOnceAndItsAnswerFillsBothTables)
{
    auto window = start(kLinkHosts);
    ASSERT_EQ(sockets.size(), 3u);
    EXPECT_EQ(sockets[1]->opens, std::vector<std::string>{"127.0.0.2:10013"});

    ScriptedAgentSocket::connect(*sockets[0]);
    EXPECT_EQ(field(*window, "127.0.0.1", "Connection"), "已连接");
    EXPECT_EQ(window->hostPool().find("127.0.0.1")->getHostStatus(), "正常运行");
    EXPECT_TRUE(listed(*window, "报盘机[Ip:127.0.0.1]连接成功"));
    EXPECT_EQ(window->statusPanelText(0), "报盘机[Ip:127.0.0.1]连接成功");
    // The first request carries the connection's count of sends: 0.
    ASSERT_EQ(sockets[0]->writes.size(), 1u);
    EXPECT_EQ(sockets[0]->writes[0], "00=Tarvo1.20\x01" "01=C\x01" "04=02\x01" "12=0\x01"
                                     "15=0\x01" "99=246\x01");
    EXPECT_EQ(window->agentLinks().registry().entries().at("127.0.0.1")->getSentCount(), 1);

    answer(*sockets[0], twoPbus(), "10", "00");
    EXPECT_EQ(field(*window, "127.0.0.1", "OESStatusA"), "运行");
    EXPECT_EQ(field(*window, "127.0.0.1", "OESStatusB"), "运行");
    EXPECT_EQ(field(*window, "127.0.0.1", "OESVersion"), "VA-1");
    EXPECT_EQ(field(*window, "127.0.0.1", "EnvNo"), "生产环境");
    EXPECT_EQ(field(*window, "127.0.0.1", "CpuUsage"), "10%");
    EXPECT_EQ(field(*window, "127.0.0.1", "DiskUsage"), "30%");
    EXPECT_EQ(field(*window, "127.0.0.1", "MemoryUsage"), "20%");
    EXPECT_EQ(field(*window, "127.0.0.1", "activePBUs"), "2");
    EXPECT_EQ(pbuRows(*window, "127.0.0.1"), 2);
    EXPECT_EQ(window->commandPoolSize(), 0u);

    // The next tick asks again with the next sequence; the answer moves the counters.
    window->TimerUpdateTimer();
    EXPECT_EQ(window->statusPanelText(0), kStamp + "自动更新HOST信息");
    EXPECT_EQ(lastSequence(*sockets[0]), "1");
    EXPECT_TRUE(sockets[1]->writes.empty());  // not connected: not asked
    answer(*sockets[0], twoPbus("11"));
    RecordSet &pbus = window->pbuTable();
    ASSERT_TRUE(pbus.locate("PbuIden", OES_NAME_A + "A0000000001" + "127.0.0.1"));
    EXPECT_EQ(pbus.value("Submitted"), "11");
    EXPECT_EQ(pbus.value("Status"), "运行");
    EXPECT_EQ(window->statusPanelText(1), "HOST:0/3 PBU:0/2");
}

TEST_F(AgentLinksTest, APollOfMoreHostsThanASliceGoesOnInTheNextPassesOfTheLoop)
{
    const size_t count = AgentPoller::kPollSlice * 2 + 7;
    std::string list;
    for (size_t i = 0; i < count; ++i)
        list += "h" + std::to_string(i) + ",127.1." + std::to_string(i / 250) + "." +
                std::to_string(i % 250 + 1) + ",10012,N,N,0,\r\n";
    auto window = start(list);
    ASSERT_EQ(sockets.size(), count);
    for (const auto &script : sockets)
        ScriptedAgentSocket::connect(*script);  // each is asked once at once
    const auto asked = [&] {
        size_t twice = 0;
        for (const auto &script : sockets)
            twice += script->writes.size() == 2;
        return twice;
    };
    window->TimerUpdateTimer();
    EXPECT_EQ(asked(), AgentPoller::kPollSlice);
    QCoreApplication::processEvents();
    EXPECT_EQ(asked(), AgentPoller::kPollSlice * 2);
    QCoreApplication::processEvents();
    EXPECT_EQ(asked(), count);
    QCoreApplication::processEvents();
    EXPECT_EQ(asked(), count);  // once each
}

TEST_F(AgentLinksTest, AgentClosingEmptiesTheRowDropsItsPbusAndCommandsAndBeeps)
{
    auto window = start(kLinkHosts);
    ScriptedAgentSocket::connect(*sockets[0]);
    answer(*sockets[0], twoPbus());
    RecordSet &pbus = window->pbuTable();
    ASSERT_TRUE(pbus.locate("PbuIden", OES_NAME_A + "A0000000001" + "127.0.0.1"));
    pbus.setValueById(pbus.currentRecId(), "Checked", "True");
    window->checkedPbuCount = 1;
    window->TimerUpdateTimer();  // a request now waits for its answer
    EXPECT_EQ(window->commandPoolSize(), 1u);

    ScriptedAgentSocket::peerClose(*sockets[0]);
    EXPECT_EQ(field(*window, "127.0.0.1", "Connection"), "已断开");
    for (const char *name : {"OESStatusA", "OESStatusB", "activePBUs", "InactivePBUs", "OESVersion",
                             "EnvNo", "CpuUsage", "DiskUsage", "MemoryUsage", "WarningLevelA",
                             "WarningLevelB", "PbuPrinted"})
        EXPECT_EQ(field(*window, "127.0.0.1", name), "") << name;
    EXPECT_EQ(pbuRows(*window, "127.0.0.1"), 0);
    EXPECT_EQ(window->checkedPbuCount, 0);
    EXPECT_EQ(window->commandPoolSize(), 0u);
    EXPECT_EQ(window->errorBeepThread()->pendingBeeps.load(), 5);
    EXPECT_EQ(window->hostPool().find("127.0.0.1")->getHostStatus(), "停止");
    EXPECT_TRUE(listed(*window, "报盘机[Ip:127.0.0.1]断开连接"));
    EXPECT_EQ(window->statusPanelText(0), "报盘机[Ip:127.0.0.1]断开连接");
    EXPECT_EQ(window->statusPanelText(1), "HOST:0/3 PBU:0/0");
}

TEST_F(AgentLinksTest, ConnectCommandsFollowTicksSelectionAndTheReconnectGuard)
{
    auto window = start(kLinkHosts);
    ScriptedAgentSocket::connect(*sockets[1]);
    tick(*window, "127.0.0.1");
    tick(*window, "127.0.0.2");
    now += 3000;
    trigger(*window, "连接");
    EXPECT_EQ(sockets[0]->opens.size(), 2u);  // ticked and closed: opened again
    EXPECT_EQ(sockets[1]->opens.size(), 1u);  // ticked and open: left alone...
    EXPECT_EQ(window->hostPool().find("127.0.0.2")->getHostStatus(), "未知");  // ...but asked
    EXPECT_EQ(sockets[2]->opens.size(), 1u);  // not ticked
    const auto lines = logLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), kStamp + "开始连接127.0.0.2"), 2);

    trigger(*window, "连接(&C)");  // the menu item, within 3 s of the last attempt
    EXPECT_TRUE(listed(*window, "报盘机[Ip:127.0.0.1]请勿短时间重复连接"));
    EXPECT_EQ(sockets[0]->opens.size(), 2u);

    // The pop-up item connects selected rows that are not connected, ticked or not.
    select(*window, {"127.0.0.3", "127.0.0.2"});
    trigger(*window, "连接当前报盘机(&C)");
    EXPECT_EQ(sockets[2]->opens.size(), 2u);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), kStamp + "开始连接127.0.0.3"), 1);
    EXPECT_EQ(logLines().back(), kStamp + "开始连接127.0.0.3");
}

TEST_F(AgentLinksTest, FailedConnectionIsReplacedByANewOne)
{
    auto window = start("bad,127.0.0.7,port,N,N,0,\r\n");
    ASSERT_EQ(sockets.size(), 1u);
    EXPECT_TRUE(logged("Exception:'port' is not a valid integer value"));
    now += 3000;
    window->agentLinks().registry().connectHosts(false);  // the same connection tries again and fails
    EXPECT_EQ(sockets.size(), 1u);
    EXPECT_TRUE(window->agentLinks().registry().entries().at("127.0.0.7")->isFailed());
    window->agentLinks().registry().connectHosts(false);  // now it is replaced
    ASSERT_EQ(sockets.size(), 2u);
    EXPECT_TRUE(sockets[0]->detached);
    EXPECT_FALSE(window->agentLinks().registry().entries().at("127.0.0.7")->isFailed());
}

TEST_F(AgentLinksTest, DisconnectingTickedAndSelectedHosts)
{
    auto window = start(kLinkHosts);
    for (int i : {0, 1}) {
        ScriptedAgentSocket::connect(*sockets[i]);
        answer(*sockets[i], twoPbus());
    }
    tick(*window, "127.0.0.1");
    tick(*window, "127.0.0.3");
    trigger(*window, "断开");
    EXPECT_TRUE(listed(*window, "开始断开127.0.0.1"));
    EXPECT_FALSE(listed(*window, "开始断开127.0.0.3"));  // not connected: nothing logged...
    EXPECT_EQ(window->hostPool().find("127.0.0.3")->getHostStatus(), "停止");  // ...but stopped
    EXPECT_EQ(field(*window, "127.0.0.1", "Connection"), "已断开");
    EXPECT_EQ(field(*window, "127.0.0.1", "PbuPrinted"), "");
    EXPECT_EQ(field(*window, "127.0.0.2", "Connection"), "已连接");

    select(*window, {"127.0.0.2", "127.0.0.3"});
    trigger(*window, "断开当前报盘机(&O)");
    EXPECT_TRUE(listed(*window, "开始断开127.0.0.2"));
    EXPECT_EQ(field(*window, "127.0.0.2", "Connection"), "已断开");
    EXPECT_EQ(sockets[1]->closes, 1);
    EXPECT_EQ(window->errorBeepThread()->pendingBeeps.load(), 5);

    // Reconnected, the first answer is a first fill again.
    now += 3000;
    ASSERT_TRUE(window->hostTable().locate("ChannelIP", "127.0.0.1"));
    window->agentLinks().registry().connectCurrentHost();
    ScriptedAgentSocket::connect(*sockets[0]);
    answer(*sockets[0], twoPbus());
    EXPECT_EQ(field(*window, "127.0.0.1", "PbuPrinted"), "true");
    EXPECT_EQ(pbuRows(*window, "127.0.0.1"), 2);
}

TEST_F(AgentLinksTest, HeartbeatsGoToQuietConnectionsAndAFailedSendEndsThePass)
{
    auto window = start(kLinkHosts);
    for (int i : {0, 1, 2})
        ScriptedAgentSocket::connect(*sockets[i]);  // each sent its request at `now`
    const std::string beat = window->getHeartbeatText();
    EXPECT_EQ(beat, "00=Tarvo1.20\x01" "01=S\x01" "04=12\x01" "12=-1\x01" "15=0\x01" "99= 53\x01");
    now += 5000;
    window->sendHeartbeats();
    EXPECT_EQ(sockets[0]->writes.size(), 1u);  // exactly 5 s is not quiet enough

    now += 1;
    sockets[1]->writeFailure = "Broken pipe";
    window->sendHeartbeats();
    EXPECT_EQ(sockets[0]->writes.back(), beat);
    EXPECT_TRUE(logged("Beat message sent to 127.0.0.1"));
    EXPECT_TRUE(logged("Beat message sent to 127.0.0.2failed"));
    EXPECT_EQ(sockets[2]->writes.size(), 1u);  // the pass ended before it
    EXPECT_FALSE(listed(*window, "Beat message sent to 127.0.0.1"));

    // A heartbeat counts as a send: the next request's sequence skips its number.
    window->TimerUpdateTimer();
    EXPECT_EQ(lastSequence(*sockets[0]), "2");
    EXPECT_EQ(lastSequence(*sockets[2]), "1");
}

TEST_F(AgentLinksTest, DeletingAConnectedHostClosesItsConnection)
{
    auto window = start(kLinkHosts);
    ScriptedAgentSocket::connect(*sockets[0]);
    ASSERT_TRUE(window->hostTable().locate("ChannelIP", "127.0.0.1"));
    boxes.answer(true);
    ASSERT_TRUE(window->deleteHost(*window->hostPool().find("127.0.0.1")));
    EXPECT_EQ(sockets[0]->closes, 1);
    EXPECT_EQ(window->commandPoolSize(), 0u);
    EXPECT_EQ(window->hostPool().find("127.0.0.1"), nullptr);
    EXPECT_EQ(window->hostTable().count(), 2);
}

TEST_F(AgentLinksTest, ExitForgetsTheConnections)
{
    auto window = start(kLinkHosts);
    ScriptedAgentSocket::connect(*sockets[0]);
    window->close();
    EXPECT_TRUE(window->agentLinks().registry().entries().empty());
    EXPECT_EQ(logLines().back(), kStamp + "Monitor正常退出");
    window.reset();  // the sockets go without calling back
    EXPECT_TRUE(sockets[0]->detached);
}

TEST_F(AgentLinksTest, TroubleshootingStepsCheckTheConnectionAndAskTheAgent)
{
    auto window = start(kLinkHosts);
    AgentLinks &links = window->agentLinks();
    HostSubject &h2 = *window->hostPool().find("127.0.0.2");
    links.poller().runTroubleshootingStep("127.0.0.2", "AgentStatus1");
    EXPECT_EQ(h2.getTroubleShootingText(),
              "探针没有启动或端口设置错误(当前监视界面端口设置为10013，探针端的默认端口为10012)");
    EXPECT_FALSE(h2.troubleShootingPending);
    now += 3000;
    links.poller().runTroubleshootingStep("127.0.0.2", "AgentStatus");
    EXPECT_EQ(h2.getTroubleShootingText(), "正在尝试连接探针...");
    EXPECT_EQ(sockets[1]->opens.size(), 2u);  // the closed connection tries again

    ScriptedAgentSocket::connect(*sockets[1]);
    h2.troubleShootingPending = true;
    links.poller().runTroubleshootingStep("127.0.0.2", "AgentStatus");
    EXPECT_EQ(h2.getTroubleShootingText(), "");
    links.poller().runTroubleshootingStep("127.0.0.2", "AgentVersion");
    Message request;
    ASSERT_GT(request.decode(sockets[1]->writes.back()), 0);
    EXPECT_EQ(request.getMessageType(), "19");
    EXPECT_EQ(request.getSequence(), "1");
    EXPECT_EQ(request.getBody()->getFieldValue("ShootingType"), "AgentVersion");
    EXPECT_EQ(request.getBody()->getFieldValue("serviceType"), "TroubleShooting");
    ScriptedAgentSocket::receive(
        *sockets[1], test::agentMessage("1", std::make_unique<TroubleShootingResponseMessageBody>(
                                                 "TroubleShooting", "AgentVersion", "0228305")));
    EXPECT_EQ(h2.results[2].text, "探针版本信息正确");
    EXPECT_FALSE(h2.troubleShootingPending);

    // Without an open connection nothing is sent and the step stays pending.
    ScriptedAgentSocket::peerClose(*sockets[1]);
    h2.troubleShootingPending = true;
    const size_t writes = sockets[1]->writes.size();
    links.poller().runTroubleshootingStep("127.0.0.2", "CheckCS");
    EXPECT_EQ(sockets[1]->writes.size(), writes);
    EXPECT_TRUE(h2.troubleShootingPending);
    links.poller().runTroubleshootingStep("127.0.0.9", "AgentStatus");  // no such row: nothing
}

TEST_F(AgentLinksTest, ConnectingWithoutHostsSaysSo)
{
    auto window = start("");
    window->agentLinks().registry().connectCurrentHost();
    EXPECT_TRUE(listed(*window, "Error[没有配置报盘机]"));
}

} // namespace
} // namespace tarvo
