// The host detail window opened from the main window, and a troubleshooting run through the
// console's own connection and command pool.
#include "AgentTestSupport.h"
#include "display/Fhost.h"
#include "framework/QtText.h"

#include <QAction>

namespace tarvo {
namespace {

using namespace tarvo::testing;

class DetailWindow : public test::AgentConsole
{
protected:
    void SetUp() override
    {
        window = start("h1,127.0.0.1,10012,N,N,0,\r\nh2,127.0.0.2,10012,N,N,0,\r\n");
        ScriptedAgentSocket::connect(*sockets[0]);
        answer(*sockets[0], {pbu(OES_NAME_A, "A0000000001")}, "42");
        ASSERT_TRUE(window->hostTable().locate("ChannelIP", "127.0.0.1"));
    }
    // The agent answers the last troubleshooting request with `result`.
    void agentAnswers(const std::string &type, const std::string &result)
    {
        ScriptedAgentSocket::receive(
            *sockets[0],
            test::agentMessage(lastSequence(*sockets[0]),
                               std::make_unique<TroubleShootingResponseMessageBody>(
                                   "TroubleShooting", type, result)));
    }
    std::unique_ptr<TF_Main> window;
};

TEST_F(DetailWindow, OpensOncePerHostAndNotForAStoppedHost)
{
    auto *detail = static_cast<TF_HOST *>(window->openDetailWindow());
    ASSERT_NE(detail, nullptr);
    EXPECT_EQ(gbkText(detail->windowTitle()), "报盘机详细信息: h1 127.0.0.1");
    EXPECT_TRUE(listed(*window, "查看报盘机127.0.0.1的详细信息"));
    EXPECT_EQ(detail->gaugeLabel(Resource::Cpu), "42%");  // filled at once from the host
    ASSERT_TRUE(window->hostTable().locate("ChannelIP", "127.0.0.1"));
    window->actions().find("查看详细信息(F5)")->trigger();
    EXPECT_EQ(window->hostPool().find("127.0.0.1")->getDetailWindow(), detail);

    ASSERT_TRUE(window->hostTable().locate("ChannelIP", "127.0.0.2"));
    window->hostPool().find("127.0.0.2")->setHostStatus("停止");
    EXPECT_EQ(window->openDetailWindow(), nullptr);
    EXPECT_EQ(window->hostPool().find("127.0.0.2")->getDetailWindow(), nullptr);
}

TEST_F(DetailWindow, TroubleshootingRunAsksTheAgentThroughTheConsole)
{
    auto *detail = static_cast<TF_HOST *>(window->openDetailWindow());
    ASSERT_NE(detail, nullptr);
    detail->BtnTSStartClick();
    EXPECT_EQ(detail->progressLines(),
              (std::vector<std::string>{"正在检查探针报盘机...", "监视界面与探针的网络连接正常",
                                        "正在检查探针的版本信息..."}));
    agentAnswers("AgentVersion", "0228305");
    detail->TimerTSTimer();
    agentAnswers("CheckCfgFile", "OK");
    detail->TimerTSTimer();
    agentAnswers("CheckCS", "Host:127.0.0.1与CS127.0.0.1连接\r\n");
    detail->TimerTSTimer();
    EXPECT_EQ(detail->progressLines(),
              (std::vector<std::string>{"正在检查探针报盘机...", "监视界面与探针的网络连接正常",
                                        "探针版本信息正确", "探针配置文件正常",
                                        "Host:127.0.0.1与CS127.0.0.1连接", "检查完毕"}));
    EXPECT_TRUE(detail->startEnabled());
    EXPECT_TRUE(logged("Trouble Shooting 127.0.0.1"));
}

} // namespace
} // namespace tarvo
