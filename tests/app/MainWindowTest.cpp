// The main window: start-up lines, command states, adding, editing, deleting, exit.
#include "TestSupport.h"
#include "app/Fmain.h"
#include "app/MainWidgets.h"
#include "doubles/ScriptedAgentSocket.h"
#include "framework/QtText.h"
#include "doubles/ScriptedDialogs.h"

#include <QAction>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include <sstream>

namespace tarvo {
namespace {

const char *kThreeHosts = "A1,10.0.0.1,10012,N,N,0,\r\n"
                          "A2,10.0.0.2,10012,N,N,1,X,11111222222,\r\n"
                          "A3,10.0.0.3,10012,N,N,0,\r\n";

class MainWindowTest : public ::testing::Test
{
protected:
    std::unique_ptr<TF_Main> start(const std::string &hostList, const std::string &ini = "")
    {
        if (!hostList.empty())
            test::writeFile(dir.file("TarvoMonitor.CFG"), hostList);
        MainOptions options;
        options.workingDirectory = dir.path();
        if (!ini.empty()) {
            test::writeFile(dir.file("TarvoMonitor.ini"), ini);
            options.settingsPath = dir.file("TarvoMonitor.ini");
        }
        options.dialogs = &boxes;
        options.clock = [] { return LocalTime{2009, 6, 1, 9, 5, 3}; };
        options.random = [] { return 1234u; };  // 1234 mod 200 = 34
        options.startThreads = false;
        options.runDialog = [this](QDialog &dialog) { return runDialog(dialog); };
        // Scripted sockets: these hosts are never reached over the network.
        options.connections.makeSocket = [this] {
            auto socket = std::make_unique<ScriptedAgentSocket>();
            sockets.push_back(socket->getScript());
            return socket;
        };
        return std::make_unique<TF_Main>(options);
    }

    std::vector<std::string> logLines() const
    {
        std::vector<std::string> lines;
        std::istringstream in(test::readFile(dir.file("logs/MonitorLog_2009-06-01.log")));
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

    std::string hostFile() const { return test::readFile(dir.file("TarvoMonitor.CFG")); }

    static bool enabled(const TF_Main &window, const std::string &caption)
    {
        QAction *action = window.actions().find(caption);
        EXPECT_NE(action, nullptr) << caption;
        return action && action->isEnabled();
    }

    static void tick(TF_Main &window, const std::string &ip)
    {
        RecordSet &hosts = window.hostTable();
        ASSERT_TRUE(hosts.locate("ChannelIP", ip));
        hosts.setValueById(hosts.currentRecId(), "HOSTColumnCheck", "True");
        ++window.checkedHostCount;
    }

    test::WorkDir dir;
    std::vector<std::shared_ptr<ScriptedAgentSocket::Script>> sockets;
    ScriptedDialogs boxes;
    std::function<int(QDialog &)> runDialog = [](QDialog &) { return int(QDialog::Rejected); };
};

TEST_F(MainWindowTest, StartUpLoadsHostsConnectsEveryHostAndLogsInOrder)
{
    auto window = start(kThreeHosts);
    const std::string stamp = "2009-06-01 09:05:03 ";
    EXPECT_EQ(logLines(), (std::vector<std::string>{stamp + "Monitor正常运行\r",
                                                    stamp + "开始连接10.0.0.1\r",
                                                    stamp + "开始连接10.0.0.2\r",
                                                    stamp + "开始连接10.0.0.3\r",
                                                    stamp + "更新间隔时间: 5秒\r",
                                                    stamp + "实际更新间隔时间: 4934毫秒\r",
                                                    stamp + "日志Debug开关: OFF\r"}));
    EXPECT_EQ(window->errorList().lines(),
              (std::vector<std::string>{stamp + "Monitor正常运行", stamp + "开始连接10.0.0.1",
                                        stamp + "开始连接10.0.0.2", stamp + "开始连接10.0.0.3",
                                        stamp + "更新间隔时间: 5秒"}));
    // Every host gets its connection attempt, ticked or not, on the host's own port.
    ASSERT_EQ(sockets.size(), 3u);
    EXPECT_EQ(sockets[0]->opens, std::vector<std::string>{"10.0.0.1:10012"});
    EXPECT_EQ(sockets[2]->opens, std::vector<std::string>{"10.0.0.3:10012"});
    EXPECT_EQ(window->statusPanelText(0), "Monitor正常运行");
    EXPECT_EQ(window->statusPanelText(1), "HOST:0/3 PBU:0/0");
    EXPECT_EQ(window->statusPanelText(2), "版本：2009版   ");
    EXPECT_EQ(window->updatePeriod(), 4934);
    EXPECT_FALSE(window->isDebugLogging());
    EXPECT_EQ(window->getStatusText(), "日志Debug开关: OFF");
    EXPECT_FALSE(window->getHeartbeatText().empty());
    EXPECT_EQ(gbkText(window->windowTitle()),
              "Tarvo报盘机监控系统 (显示信息非实时更新，仅供参考)");
    EXPECT_EQ(window->minimumSize(), QSize(570, 400));

    const RecordSet &hosts = window->hostTable();
    ASSERT_EQ(hosts.count(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(hosts.valueAt(i, "Connection"), "未连接");
    EXPECT_EQ(window->hostPool().find("10.0.0.2")->getPbuList().size(), 1u);

    for (const char *off : {"删除报盘机", "连接", "断开", "连接(&C)", "断开(&O)",
                            "报盘机状态一览(&M)", "报盘机详情监控(&D)"})
        EXPECT_FALSE(enabled(*window, off)) << off;
    EXPECT_TRUE(enabled(*window, "添加报盘机"));
    EXPECT_EQ(window->activePage(), MainPage::Host);
}

TEST_F(MainWindowTest, SettingsFileSetsPeriodAndDebugTick)
{
    auto window = start("", "[Interval]\r\nTime=10\r\n[Log]\r\nDebug=on\r\n");
    EXPECT_EQ(window->updatePeriod(), 9934);
    EXPECT_TRUE(window->isDebugLogging());
    EXPECT_TRUE(window->actions().find("记录所有收发消息")->isChecked());
    window->actions().find("记录所有收发消息")->trigger();
    EXPECT_FALSE(window->isDebugLogging());
    const auto lines = logLines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[3], "2009-06-01 09:05:03 日志Debug开关: on\r");
}

TEST_F(MainWindowTest, NamedSettingsFileThatIsMissingIsReportedAndDefaultsApply)
{
    MainOptions options;
    options.workingDirectory = dir.path();
    options.settingsPath = dir.file("nowhere.ini");
    options.settingsNamed = true;
    options.dialogs = &boxes;
    options.clock = [] { return LocalTime{2009, 6, 1, 9, 5, 3}; };
    options.random = [] { return 1234u; };
    options.startThreads = false;
    TF_Main window(options);
    const std::string line = "2009-06-01 09:05:03 Error[设置文件" + dir.file("nowhere.ini") +
                             "不存在, 使用默认设置]";
    EXPECT_NE(std::find(window.errorList().lines().begin(), window.errorList().lines().end(),
                        line),
              window.errorList().lines().end());
    EXPECT_EQ(window.updatePeriod(), 4934);
}

TEST_F(MainWindowTest, DeletingTickedHostsAsksForEachAndFollowsTheAnswers)
{
    auto window = start(kThreeHosts);
    tick(*window, "10.0.0.1");
    tick(*window, "10.0.0.2");
    window->refreshCommandStates(CommandMode::AfterChange);
    EXPECT_TRUE(enabled(*window, "删除报盘机"));
    EXPECT_EQ(window->statusPanelText(1), "HOST:2/3 PBU:0/0");

    boxes.answer(true);
    boxes.answer(false);
    window->deleteCheckedHosts();

    ASSERT_EQ(boxes.shown().size(), 2u);
    EXPECT_EQ(boxes.shown()[0].text, "您确定要删除IP为10.0.0.1的报盘机吗?");
    EXPECT_EQ(boxes.shown()[1].text, "您确定要删除IP为10.0.0.2的报盘机吗?");
    EXPECT_EQ(window->hostPool().find("10.0.0.1"), nullptr);
    EXPECT_NE(window->hostPool().find("10.0.0.2"), nullptr);
    EXPECT_EQ(window->hostTable().count(), 2);
    EXPECT_EQ(window->checkedHostCount, 1);
    EXPECT_EQ(window->statusPanelText(0), "删除报盘机:10.0.0.1");
    EXPECT_EQ(window->errorList().lines().back(), "2009-06-01 09:05:03 删除报盘机:10.0.0.1");
    EXPECT_EQ(logLines().back(), "2009-06-01 09:05:03 删除报盘机:10.0.0.1\r");
    EXPECT_EQ(hostFile(), "A2,10.0.0.2,10012,N,N,1,X,11111222222,\r\nA3,10.0.0.3,10012,N,N,0,\r\n");
}

TEST_F(MainWindowTest, AnsweringNoStillRewritesTheFile)
{
    auto window = start(kThreeHosts);
    tick(*window, "10.0.0.3");
    test::writeFile(dir.file("TarvoMonitor.CFG"), "stale\r\n");
    boxes.answer(false);
    window->deleteCheckedHosts();
    EXPECT_EQ(window->hostTable().count(), 3);
    EXPECT_EQ(hostFile(), kThreeHosts);
}

TEST_F(MainWindowTest, DeletingTheLastTickedRowsEndsTheWalk)
{
    auto window = start(kThreeHosts);
    tick(*window, "10.0.0.2");
    tick(*window, "10.0.0.3");
    boxes.setDefaultAnswer(true);
    window->deleteCheckedHosts();
    EXPECT_EQ(boxes.shown().size(), 2u);
    EXPECT_EQ(window->hostTable().count(), 1);
    EXPECT_EQ(window->checkedHostCount, 0);
    EXPECT_FALSE(enabled(*window, "删除报盘机"));
}

TEST_F(MainWindowTest, DeletingSelectedRowsIgnoresTicksAndAsksOncePerRow)
{
    auto window = start(kThreeHosts);
    RecordSet &hosts = window->hostTable();
    tick(*window, "10.0.0.2");
    std::vector<RecId> selection;
    for (const char *ip : {"10.0.0.3", "10.0.0.1"}) {
        ASSERT_TRUE(hosts.locate("ChannelIP", ip));
        selection.push_back(hosts.currentRecId());
    }
    window->hostGridState().setSelection(selection);
    ASSERT_TRUE(hosts.locate("ChannelIP", "10.0.0.2"));

    boxes.answer(true);
    boxes.answer(false);
    window->deleteSelectedHosts();
    ASSERT_EQ(boxes.shown().size(), 2u);
    EXPECT_EQ(boxes.shown()[0].text, "您确定要删除IP为10.0.0.3的报盘机吗?");
    EXPECT_EQ(boxes.shown()[1].text, "您确定要删除IP为10.0.0.1的报盘机吗?");
    EXPECT_EQ(hosts.count(), 2);
    EXPECT_EQ(window->hostPool().find("10.0.0.3"), nullptr);
    EXPECT_EQ(hosts.value("ChannelIP"), "10.0.0.2");  // the operator's row again
    EXPECT_EQ(window->checkedHostCount, 1);
    EXPECT_EQ(hostFile(), "A1,10.0.0.1,10012,N,N,0,\r\nA2,10.0.0.2,10012,N,N,1,X,11111222222,\r\n");
}

TEST_F(MainWindowTest, AddingThroughTheDialogSavesAndLogs)
{
    auto window = start("");
    runDialog = [](QDialog &dialog) {
        auto &add = dynamic_cast<THostMaintenance &>(dialog);
        add.edtIP->setText(QStringLiteral("010.001.002.003"));
        add.edtAlias->setText(qtText("北京"));
        add.BtnOK->click();
        return dialog.result();
    };
    window->actions().find("添加报盘机")->trigger();
    EXPECT_EQ(hostFile(), "\xB1\xB1\xBE\xA9,10.1.2.3,10012,N,N,0,\r\n");
    EXPECT_EQ(window->hostTable().count(), 1);
    EXPECT_EQ(window->hostTable().valueAt(0, "Connection"), "未连接");
    EXPECT_EQ(logLines().back(), "2009-06-01 09:05:03 添加报盘机信息:10.1.2.3\r");
    EXPECT_EQ(window->statusPanelText(1), "HOST:0/1 PBU:0/0");

    runDialog = [](QDialog &) { return int(QDialog::Rejected); };
    test::writeFile(dir.file("TarvoMonitor.CFG"), "untouched");
    window->addHostCommand();
    EXPECT_EQ(hostFile(), "untouched");
}

TEST_F(MainWindowTest, EditingUpdatesRowAndFile)
{
    auto window = start(kThreeHosts);
    ASSERT_TRUE(window->hostTable().locate("ChannelIP", "10.0.0.3"));
    runDialog = [](QDialog &dialog) {
        auto &edit = dynamic_cast<THOSTEdit &>(dialog);
        edit.edtAlias->setText(qtText("三号"));
        edit.edtPort->setText(QStringLiteral("9999"));
        edit.BtnOK->click();
        return dialog.result();
    };
    window->editHostCommand();
    EXPECT_EQ(window->hostTable().value("hostName"), "三号");
    EXPECT_NE(hostFile().find("\xC8\xFD\xBA\xC5,10.0.0.3,9999,N,N,0,\r\n"), std::string::npos);
    EXPECT_EQ(logLines().back(), "2009-06-01 09:05:03 修改报盘机信息:10.0.0.3\r");
}

TEST_F(MainWindowTest, ExitAsksAndLogsOnlyOnYes)
{
    auto window = start(kThreeHosts);
    window->show();
    const size_t before = logLines().size();
    boxes.answer(false);
    EXPECT_FALSE(window->close());
    EXPECT_EQ(boxes.lastText(), "您确定要退出吗？");
    EXPECT_EQ(logLines().size(), before);
    boxes.answer(true);
    EXPECT_TRUE(window->close());
    EXPECT_EQ(logLines().back(), "2009-06-01 09:05:03 Monitor正常退出\r");
    EXPECT_EQ(window->statusPanelText(0), "Monitor正常退出");
}

TEST_F(MainWindowTest, HelpAndAboutTexts)
{
    auto window = start("");
    window->actions().find("帮助(&H)")->trigger();
    EXPECT_EQ(boxes.lastText(), "帮助文件TarvoMonitorHelp.chm不存在");
    window->actions().find("关于(&A)")->trigger();
    EXPECT_EQ(boxes.lastText(),
              "Tarvo报盘机监控系统\n软件版本号: 2009版\n通信协议版本号: Tarvo1.20\n");
}

TEST_F(MainWindowTest, UpdateTickSavesAndReportsAFailureOnce)
{
    auto window = start(kThreeHosts);
    test::writeFile(dir.file("TarvoMonitor.CFG"), "");
    const auto tick = [&] {
        window->TimerUpdateTimer();
        QCoreApplication::processEvents();  // the save runs in the passes after the tick
    };
    tick();
    EXPECT_EQ(hostFile(), kThreeHosts);
    EXPECT_EQ(window->statusPanelText(0), "2009-06-01 09:05:03 自动更新HOST信息");

    ::unlink(dir.file("TarvoMonitor.CFG").c_str());
    ::mkdir(dir.file("TarvoMonitor.CFG").c_str(), 0777);
    const size_t before = window->errorList().size();
    tick();
    tick();
    ASSERT_EQ(window->errorList().size(), before + 1);
    EXPECT_EQ(window->errorList().lines().back().substr(20, 6), "Error[");
}

// What the agents changed since the last poll is saved when the console closes.
TEST_F(MainWindowTest, ClosingSavesWhatChangedSinceThePoll)
{
    auto window = start(kThreeHosts);
    window->hostPool().find("10.0.0.1")->setHostName("B1");
    boxes.answer(true);
    ASSERT_TRUE(window->close());
    EXPECT_EQ(hostFile().substr(0, 14), "B1,10.0.0.1,10");
}

TEST_F(MainWindowTest, ErrorListContextItemEmptiesIt)
{
    auto window = start("");
    EXPECT_EQ(window->errorList().size(), 2u);
    window->actions().find("删除全部日志(&D)")->trigger();
    EXPECT_EQ(window->errorList().size(), 0u);
    EXPECT_EQ(window->errorListView()->count(), 0);
}

TEST(MonitorStatusBarTest, PanelWidthsFollowTheBarWidth)
{
    EXPECT_EQ(MonitorStatusBar::panelWidths(522), (std::array<int, 3>{300, 100, 50}));
    EXPECT_EQ(MonitorStatusBar::panelWidths(1000), (std::array<int, 3>{574, 191, 95}));
    EXPECT_EQ(MonitorStatusBar::panelWidths(0), (std::array<int, 3>{0, 0, 0}));
}

} // namespace
} // namespace tarvo
