// The detail window's troubleshooting run, driven through its handlers and timer ticks:
// progress lines, buttons, timers and steps for connected, unreachable and slow agents.
#include "HostDetailTestSupport.h"

#include "framework/QtText.h"

#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

#include <algorithm>

namespace tarvo::test {
namespace {

using Lines = std::vector<std::string>;

const std::string kPortMessage =
    "探针没有启动或端口设置错误(当前监视界面端口设置为10013，探针端的默认端口为10012)";

using TroubleshootingRun = DetailWindowTest;

void expectIdle(const TF_HOST& w)
{
    EXPECT_TRUE(w.startEnabled());
    EXPECT_FALSE(w.stopEnabled());
    EXPECT_FALSE(w.stepTimerActive());
    EXPECT_FALSE(w.connectionTimerActive());
}

void expectChecking(const TF_HOST& w, int step)
{
    EXPECT_FALSE(w.startEnabled());
    EXPECT_TRUE(w.stopEnabled());
    EXPECT_TRUE(w.stepTimerActive());
    EXPECT_FALSE(w.connectionTimerActive());
    EXPECT_EQ(w.stepIndex(), step);
}

TEST_F(TroubleshootingRun, NewWindowIsIdleOnTheTroubleshootingPage)
{
    expectIdle(*window);
    EXPECT_EQ(window->stepIndex(), 0);
    EXPECT_EQ(window->lastShownResult(), "");
    EXPECT_TRUE(lines().empty());
    EXPECT_EQ(window->pages()->currentIndex(), 1);
    EXPECT_EQ(gbkText(window->pages()->tabText(0)), "硬件状态");
    EXPECT_EQ(gbkText(window->pages()->tabText(1)), "故障检测");
    EXPECT_EQ(gbkText(window->windowTitle()), "报盘机详细信息");
    EXPECT_EQ(window->size(), QSize(773, 471));
    std::vector<int> intervals;
    for (QTimer* timer : window->findChildren<QTimer*>())
        intervals.push_back(timer->interval());
    std::sort(intervals.begin(), intervals.end());
    EXPECT_EQ(intervals, (std::vector<int>{1000, 2000}));
}

TEST_F(TroubleshootingRun, ConnectedAgentRunsAllFiveStepsToTheEnd)
{
    window->BtnTSStartClick();
    EXPECT_EQ(owner.logs.front(), (LogEntry{"Trouble Shooting 10.0.0.5", true, true}));
    EXPECT_EQ(lines(), (Lines{"正在检查探针报盘机...", "监视界面与探针的网络连接正常",
                              "正在检查探针的版本信息..."}));
    expectChecking(*window, 3);
    EXPECT_TRUE(host->troubleShootingPending);
    EXPECT_EQ(owner.steps, (Lines{"AgentStatus", "AgentVersion"}));

    owner.agentAnswers("AgentVersion", "0228305");
    EXPECT_FALSE(host->troubleShootingPending);
    window->TimerTSTimer();
    EXPECT_EQ(lines().back(), "正在检查探针的配置文件...");
    EXPECT_EQ(lines()[2], "探针版本信息正确");
    EXPECT_EQ(host->results[2].text, "") << "a shown answer is taken out of the host";
    EXPECT_EQ(window->lastShownResult(), "探针版本信息正确");
    EXPECT_TRUE(host->troubleShootingPending);
    expectChecking(*window, 4);

    owner.agentAnswers("CheckCfgFile", "OK");
    window->TimerTSTimer();
    EXPECT_EQ(lines().back(), "正在检查CS的状态...");
    expectChecking(*window, 5);

    owner.agentAnswers("CheckCS", "NoCon");
    window->TimerTSTimer();
    EXPECT_EQ(lines(), (Lines{"正在检查探针报盘机...", "监视界面与探针的网络连接正常",
                              "探针版本信息正确", "探针配置文件正常", "HOST没有与任何CS建立连接",
                              "检查完毕"}));
    EXPECT_EQ(window->stepIndex(), 6);
    expectIdle(*window);
    EXPECT_EQ(owner.steps,
              (Lines{"AgentStatus", "AgentVersion", "CheckCfgFile", "CheckCS"}));
    EXPECT_EQ(owner.pool.size(), 0u);
}

TEST_F(TroubleshootingRun, UnreachableAgentEndsWithThePortMessage)
{
    owner.connection = "未连接";
    window->BtnTSStartClick();
    EXPECT_EQ(lines(), (Lines{"正在检查探针报盘机...", "正在尝试连接探针..."}));
    EXPECT_TRUE(window->connectionTimerActive());
    EXPECT_FALSE(window->stepTimerActive());
    EXPECT_FALSE(window->startEnabled());
    EXPECT_TRUE(window->stopEnabled());

    owner.connection = "已断开";
    window->TimerAgentConTimer();
    EXPECT_EQ(lines(), (Lines{"正在检查探针报盘机...", kPortMessage, "故障检测终止"}));
    EXPECT_EQ(owner.steps, (Lines{"AgentStatus", "AgentStatus1"}));
    expectIdle(*window);
}

TEST_F(TroubleshootingRun, ConnectionCheckGoesOnToTheVersionWhenUpOrUndecided)
{
    owner.connection = "正在连接";
    window->BtnTSStartClick();
    owner.connection = "已连接";
    window->TimerAgentConTimer();
    EXPECT_EQ(lines(), (Lines{"正在检查探针报盘机...", "监视界面与探针的网络连接正常",
                              "正在检查探针的版本信息..."}));
    expectChecking(*window, 3);

    // A Connection text that is neither up nor down leaves the step pending: timed out.
    owner.connection = "正在连接";
    window->BtnTSStopClick();
    window->BtnTSStartClick();
    window->TimerAgentConTimer();
    EXPECT_EQ(lines(), (Lines{"正在检查探针报盘机...", "检查监视界面与探针的网络连接超时",
                              "正在检查探针的版本信息..."}));
    expectChecking(*window, 3);
}

TEST_F(TroubleshootingRun, LateVersionAnswerTimesOutAndIsNotShownForTheNextStep)
{
    window->BtnTSStartClick();
    window->TimerTSTimer();
    EXPECT_EQ(lines(), (Lines{"正在检查探针报盘机...", "监视界面与探针的网络连接正常",
                              "检查探针的版本信息超时", "正在检查探针的配置文件..."}));
    expectChecking(*window, 4);

    // The version answer comes now: step 4 counts as answered and shows its own, empty,
    // result entry.
    owner.agentAnswers("AgentVersion", "0228305");
    window->TimerTSTimer();
    EXPECT_EQ(lines()[3], "");
    EXPECT_EQ(lines().back(), "正在检查CS的状态...");
    EXPECT_EQ(host->results[2].text, "探针版本信息正确");
    expectChecking(*window, 5);
}

TEST_F(TroubleshootingRun, WithoutAnOpenConnectionStepsTimeOutAndTheCsStepWaits)
{
    owner.connectionOpen = false;
    window->BtnTSStartClick();
    window->TimerTSTimer();
    window->TimerTSTimer();
    window->TimerTSTimer();
    window->TimerTSTimer();
    EXPECT_EQ(lines(), (Lines{"正在检查探针报盘机...", "监视界面与探针的网络连接正常",
                              "检查探针的版本信息超时", "检查探针的配置文件超时",
                              "正在检查CS的状态..."}));
    expectChecking(*window, 5);
    EXPECT_EQ(owner.pool.size(), 0u);
}

TEST_F(TroubleshootingRun, ConfigurationAnswerShowsOneLinePerCrLfLine)
{
    window->BtnTSStartClick();
    owner.agentAnswers("AgentVersion", "0000000");
    window->TimerTSTimer();
    EXPECT_EQ(lines()[2], "探针版本与监视界面版本不一致");
    owner.agentAnswers("CheckCfgFile", "缺少文件a.ini\r\n缺少文件b.ini\r\n配置项OesFlagA为空\r\n");
    window->TimerTSTimer();
    EXPECT_EQ(lines(), (Lines{"正在检查探针报盘机...", "监视界面与探针的网络连接正常",
                              "探针版本与监视界面版本不一致", "缺少文件a.ini", "缺少文件b.ini",
                              "配置项OesFlagA为空", "正在检查CS的状态..."}));
}

TEST_F(TroubleshootingRun, EmptyConfigurationAnswerLeavesAnEmptyLine)
{
    window->BtnTSStartClick();
    owner.agentAnswers("AgentVersion", "0228305");
    window->TimerTSTimer();
    owner.agentAnswers("CheckCfgFile", "");
    window->TimerTSTimer();
    EXPECT_EQ(lines().size(), 5u);
    EXPECT_EQ(lines()[3], "");
    expectChecking(*window, 5);
}

TEST_F(TroubleshootingRun, CsAnswerEqualToThePreviousTextWaitsInStepFive)
{
    window->BtnTSStartClick();
    owner.agentAnswers("AgentVersion", "0228305");
    window->TimerTSTimer();
    owner.agentAnswers("CheckCfgFile", "CS 10.1.1.1 unreachable\r\n");
    window->TimerTSTimer();
    owner.agentAnswers("CheckCS", "CS 10.1.1.1 unreachable\r\n");
    const Lines before = lines();
    for (int tick = 0; tick < 5; ++tick)
        window->TimerTSTimer();
    EXPECT_EQ(lines(), before);
    EXPECT_EQ(lines().back(), "正在检查CS的状态...");
    expectChecking(*window, 5);

    window->BtnTSStopClick();
    EXPECT_EQ(lines().back(), "终止检查");
    expectIdle(*window);
}

TEST_F(TroubleshootingRun, CsStepShowsAnAnswerThatComesAfterSomeTicks)
{
    window->BtnTSStartClick();
    owner.agentAnswers("AgentVersion", "0228305");
    window->TimerTSTimer();
    owner.agentAnswers("CheckCfgFile", "OK");
    window->TimerTSTimer();
    window->TimerTSTimer();
    window->TimerTSTimer();
    EXPECT_EQ(lines().back(), "正在检查CS的状态...");
    owner.agentAnswers("CheckCS", "PBU 1001 → CS 10.1.1.1:OK\r\nPBU 1002 → CS 10.1.1.2:OK\r\n");
    window->TimerTSTimer();
    EXPECT_EQ(lines(), (Lines{"正在检查探针报盘机...", "监视界面与探针的网络连接正常",
                              "探针版本信息正确", "探针配置文件正常",
                              "PBU 1001 → CS 10.1.1.1:OK", "PBU 1002 → CS 10.1.1.2:OK",
                              "检查完毕"}));
    expectIdle(*window);
}

TEST_F(TroubleshootingRun, StopEndsEveryStateWithItsLastLineReplaced)
{
    // Connecting.
    owner.connection = "未连接";
    window->BtnTSStartClick();
    window->BtnTSStopClick();
    EXPECT_EQ(lines(), (Lines{"正在检查探针报盘机...", "终止检查"}));
    expectIdle(*window);

    // Checking, at each of the three request steps.
    owner.connection = "已连接";
    for (int stopAt = 3; stopAt <= 5; ++stopAt) {
        window->BtnTSStartClick();
        for (int step = 3; step < stopAt; ++step)
            window->TimerTSTimer();
        ASSERT_EQ(window->stepIndex(), stopAt);
        const size_t count = lines().size();
        window->BtnTSStopClick();
        EXPECT_EQ(lines().size(), count);
        EXPECT_EQ(lines().back(), "终止检查") << "stopped at step " << stopAt;
        expectIdle(*window);
    }

    // Idle after a finished run: the last line is replaced as well.
    window->BtnTSStartClick();
    window->TimerTSTimer();
    window->TimerTSTimer();
    owner.agentAnswers("CheckCS", "NoCon");
    window->TimerTSTimer();
    ASSERT_EQ(lines().back(), "检查完毕");
    window->BtnTSStopClick();
    EXPECT_EQ(lines().back(), "终止检查");
    expectIdle(*window);
}

TEST_F(TroubleshootingRun, StopBeforeAnyRunWritesTheLineIntoTheEmptyList)
{
    window->BtnTSStopClick();
    EXPECT_EQ(lines(), (Lines{"终止检查"}));
    expectIdle(*window);
    // A stray step tick outside a check changes nothing.
    window->TimerTSTimer();
    EXPECT_EQ(lines(), (Lines{"终止检查"}));
    EXPECT_FALSE(window->stepTimerActive());
}

TEST_F(TroubleshootingRun, NewRunClearsTheListAndKeepsTheLastShownResult)
{
    window->BtnTSStartClick();
    owner.agentAnswers("AgentVersion", "0228305");
    window->TimerTSTimer();
    window->BtnTSStopClick();
    window->BtnTSStartClick();
    EXPECT_EQ(lines().size(), 3u);
    EXPECT_EQ(lines().front(), "正在检查探针报盘机...");
    EXPECT_EQ(window->lastShownResult(), "探针版本信息正确");
    EXPECT_EQ(owner.logs.size(), 2u);
}

TEST_F(TroubleshootingRun, ButtonsRunTheirHandlersAndLogWhatTheyThrow)
{
    auto button = [this](const std::string& caption) {
        for (QPushButton* b : window->findChildren<QPushButton*>())
            if (gbkText(b->text()) == caption)
                return b;
        ADD_FAILURE() << "no button " << caption;
        return static_cast<QPushButton*>(nullptr);
    };
    owner.failingStep = "AgentVersion";
    button("故障检测")->click();
    EXPECT_EQ(owner.logs.back(),
              (LogEntry{"Exception from 10.0.0.5(BtnTSStart): step failed", false, false}));
    button("终止检测")->click();
    EXPECT_EQ(lines().back(), "终止检查");
    expectIdle(*window);

    window->show();
    button("退出")->click();
    EXPECT_FALSE(window->isVisible());
}

TEST(AnswerLines, SplitsAtCrLfAndKeepsAnUnterminatedTail)
{
    using L = std::vector<std::string>;
    EXPECT_EQ(answerLines(""), (L{""}));
    EXPECT_EQ(answerLines("one"), (L{"one"}));
    EXPECT_EQ(answerLines("one\r\n"), (L{"one"}));
    EXPECT_EQ(answerLines("\r\n"), (L{""}));
    EXPECT_EQ(answerLines("a\r\n\r\nb\r\n"), (L{"a", "", "b"}));
    EXPECT_EQ(answerLines("a\r\nb"), (L{"a", "b"}));
    EXPECT_EQ(answerLines("a\nb\r"), (L{"a\nb\r"})) << "only CR LF ends a line";
}

TEST(StepNames, AreIndexedByStepNumber)
{
    EXPECT_EQ(stepNames[0], "");
    EXPECT_EQ(stepNames[1], "探针报盘机");
    EXPECT_EQ(stepNames[2], "监视界面与探针的网络连接");
    EXPECT_EQ(stepNames[3], "探针的版本信息");
    EXPECT_EQ(stepNames[4], "探针的配置文件");
    EXPECT_EQ(stepNames[5], "CS的状态");
}

} // namespace
} // namespace tarvo::test
