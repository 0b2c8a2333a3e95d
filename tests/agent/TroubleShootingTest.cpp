// The troubleshooting checks against temporary installations, with a recording connector.
#include "AgentTestSupport.h"

#include "agent/AgentConfig.h"
#include "agent/AgentLog.h"
#include "agent/TroubleShooting.h"
#include "protocol/MessageBodies.h"

#include <gtest/gtest.h>

#include "platform/Socket.h"

namespace tarvo {
namespace {

using test::Installation;

struct Attempt
{
    std::string gateway, local;
    uint16_t port;
};

class Shooting : public ::testing::Test
{
protected:
    Installation inst;
    AgentConfig config{inst.iniPath()};
    std::vector<Attempt> attempts;

    // A TroubleShooting on this installation whose gateway "10.9.9.9" answers and every
    // other address does not.
    std::string answer(const std::string &shootingType)
    {
        TroubleShootingRequestMessageBody request("svc-1", shootingType);
        auto body = executeTroubleShooting(request, *make());
        if (!body)
            return "(no answer)";
        auto &response = dynamic_cast<TroubleShootingResponseMessageBody &>(*body);
        EXPECT_EQ(response.getServiceType(), "svc-1");
        EXPECT_EQ(response.getShootingType(), shootingType);
        return response.getResult();
    }

    std::unique_ptr<TroubleShooting> make()
    {
        auto shooting = std::make_unique<TroubleShooting>(
            [this]() -> AgentConfig & {
                if (!config.isLoaded())
                    config.load();
                return config;
            },
            inst.iniPath());
        shooting->setConnector([this](const std::string &gw, const std::string &local, uint16_t port) {
            attempts.push_back({gw, local, port});
            return gw == "10.9.9.9";
        });
        return shooting;
    }

    void writeCompleteIni()
    {
        inst.writeLines("TarvoMonitorAgent.ini",
                        {"[PORT]", "port=10012", "[ACCESS_CONTROL]", "ip1=127.0.0.1", "[Tarvo]",
                         "logs_dir=./logs/", "A股报盘程序=Y", "B股报盘程序=N"});
    }
};

TEST_F(Shooting, AgentVersionAlwaysAnswersTheVersion)
{
    EXPECT_EQ(answer("AgentVersion"), "0228305");
}

TEST_F(Shooting, CheckCfgFileAnswersOkForACompleteInstallation)
{
    inst.layOutBothPrograms();
    writeCompleteIni();
    EXPECT_EQ(answer("CheckCfgFile"), "OK");
}

TEST_F(Shooting, CheckCfgFileListsEveryMissingFile)
{
    EXPECT_EQ(answer("CheckCfgFile"),
              "配置文件不存在:" + inst.iniPath() + "\r\n" + inst.path("cfgA/SystemConfiguration.ini") +
                  "\r\n" + inst.path("cfgB/SystemConfiguration.ini") + "\r\n" +
                  inst.path("Tarvo_ASHR.exe") + "\r\n" + inst.path("Tarvo_BSHR.exe") + "\r\n");
    inst.layOutBothPrograms();
    inst.remove("TarvoMonitorAgent.ini");
    EXPECT_EQ(answer("CheckCfgFile"), "配置文件不存在:" + inst.iniPath() + "\r\n");
}

TEST_F(Shooting, CheckCfgFileNamesMissingSectionsAndEmptyKeys)
{
    inst.layOutBothPrograms();
    inst.writeLines("TarvoMonitorAgent.ini",
                    {"[PORT]", "port=", "[Tarvo]", "logs_dir=./logs/", "A股报盘程序=", "x=1"});
    EXPECT_EQ(answer("CheckCfgFile"), "配置文件中PORT字段中的port内容为空;"
                                      "配置文件中不存在ACCESS_CONTROL字段;"
                                      "配置文件中Tarvo字段中的A股报盘程序内容为空;");
}

TEST_F(Shooting, CheckCsReportsEveryGatewayOfAWatchedProgram)
{
    inst.layOutBothPrograms();
    writeCompleteIni();
    inst.writeLines("cfgA/SystemConfiguration.ini",
                    {"[System]", "OperatorCounts=2", "[oper1]", "OperCode=A0000000001",
                     "GwipCounts=2", "Gwip1=10.9.9.9", "LocalIP1=127.0.0.1", "Gwip2=10.8.8.8",
                     "LocalIP2=127.0.0.1", "[oper2]", "OperCode=A0000000002", "GwipCounts=1",
                     "Gwip1=10.9.9.9", "LocalIP1=127.0.0.2"});
    EXPECT_EQ(answer("CheckCS"), "端口11205\r\n"
                                 "A股报盘程序状态:\r\n"
                                 "Host:127.0.0.1与CS10.9.9.9连接正常\r\n"
                                 "Host:127.0.0.1与CS10.8.8.8连接不正常\r\n"
                                 "Host:127.0.0.2与CS10.9.9.9连接正常\r\n"
                                 "B股报盘程序状态:\r\n"
                                 "B股报盘程序不存在\r\n");
    ASSERT_EQ(attempts.size(), 3u);
    EXPECT_EQ(attempts[0].port, 11205);
}

TEST_F(Shooting, CheckCsWithoutEnvNoUsesZeroZero)
{
    inst.layOutBothPrograms();
    writeCompleteIni();
    inst.writeLines("tarvo.ini", {"[TARVO]"});
    EXPECT_EQ(answer("CheckCS").substr(0, 11), "端口10005\r\n");
}

TEST_F(Shooting, CheckCsWithoutTheAgentIniAnswersOnlyThatLine)
{
    EXPECT_EQ(answer("CheckCS"), "配置文件 " + inst.iniPath() + " 不存在\r\n");
}

TEST_F(Shooting, CheckCsStopsAfterAMissingConfigurationOfTheAShareProgram)
{
    inst.layOutBothPrograms();
    inst.remove("cfgA/SystemConfiguration.ini");
    EXPECT_EQ(answer("CheckCS"), "端口11205\r\nA股报盘程序状态:\r\n配置文件 " +
                                     inst.path("cfgA/SystemConfiguration.ini") + " 不存在\r\n");
}

TEST_F(Shooting, CheckCsReportsTheMissingBShareConfiguration)
{
    inst.layOutBothPrograms();
    inst.remove("cfgB/SystemConfiguration.ini");
    EXPECT_EQ(answer("CheckCS"), "端口11205\r\nA股报盘程序状态:\r\n"
                                 "B股报盘程序状态:\r\n配置文件 " +
                                     inst.path("cfgB/SystemConfiguration.ini") + " 不存在\r\n");
}

TEST_F(Shooting, GatewayLinesStopAtTheFirstIncompleteGateway)
{
    inst.writeLines("cfg.ini", {"[System]", "OperatorCounts=3", "[oper1]", "GwipCounts=2",
                                "Gwip1=", "LocalIP1=127.0.0.1", "Gwip2=10.9.9.9",
                                "LocalIP2=127.0.0.1", "[oper3]", "GwipCounts=1",
                                "Gwip1=10.9.9.9", "LocalIP1="});
    EXPECT_EQ(make()->checkGateways(inst.path("cfg.ini"), "10005"), "");
    EXPECT_TRUE(attempts.empty());
    inst.writeLines("none.ini", {"[System]", "OperatorCounts=0"});
    EXPECT_EQ(make()->checkGateways(inst.path("none.ini"), "10005"), "没有配置交易员\r\n");
}

TEST_F(Shooting, APortThatIsNoTcpPortIsNeverTried)
{
    auto shooting = make();
    EXPECT_FALSE(shooting->testConnect("10.9.9.9", "127.0.0.1", "1999905"));
    EXPECT_FALSE(shooting->testConnect("10.9.9.9", "127.0.0.1", "x"));
    EXPECT_TRUE(shooting->testConnect("10.9.9.9", "127.0.0.1", "11205abc"));
    ASSERT_EQ(attempts.size(), 1u);
    EXPECT_EQ(attempts[0].port, 11205);
}

TEST_F(Shooting, AnUnknownShootingTypeGetsNoAnswerAndALogLine)
{
    std::vector<std::string> logged;
    AgentLog::setSink([&](AgentLog::Level, const std::string &text) { logged.push_back(text); });
    EXPECT_EQ(answer("Reboot"), "(no answer)");
    AgentLog::setSink({});
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_NE(logged[0].find("Reboot"), std::string::npos);
}

// A listening socket on 127.0.0.1 and a port on which nothing listens.
TEST(TestConnect, ConnectsToAListenerAndReportsARefusal)
{
    Listening listener = listenTcp("127.0.0.1", 0, 4);
    ASSERT_EQ(listener.error, "");
    const std::string openPort = std::to_string(listener.port);

    Installation inst;
    AgentConfig config(inst.iniPath());
    TroubleShooting shooting([&]() -> AgentConfig & { return config; }, inst.iniPath());
    shooting.setConnectTimeout(std::chrono::milliseconds(500));
    EXPECT_TRUE(shooting.testConnect("127.0.0.1", "127.0.0.1", openPort));
    listener.socket.close(); // nothing listens on the port any more
    EXPECT_FALSE(shooting.testConnect("127.0.0.1", "127.0.0.1", openPort));
    EXPECT_FALSE(shooting.testConnect("127.0.0.1", "not-an-address", openPort));
}

} // namespace
} // namespace tarvo
