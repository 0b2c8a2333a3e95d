// The console in an operator's hands, through its real widgets: clicks on cells and check
// boxes, keys, pop-up menus, the tool bar, and modal dialogs left open while polls, answers
// and disconnects arrive (each answered from a timer inside the dialog's own event loop).
#include "AgentTestSupport.h"
#include "../support/OperatorActions.h"
#include "display/Fhost.h"

#include <QToolBar>

namespace tarvo {
namespace {

using tarvo::testing::pbu;

class Operator : public test::AgentConsole
{
protected:
    void SetUp() override
    {
        realDialogs = true;
        std::string list;
        for (int i = 1; i <= 4; ++i)
            list += "h" + std::to_string(i) + ",10.0.0." + std::to_string(i) + ",10012,N,N,0,\r\n";
        window = start(list);
        window->show();
        for (int i = 0; i < 4; ++i) {
            ScriptedAgentSocket::connect(*sockets[size_t(i)]);
            answer(*sockets[size_t(i)], {pbu(OES_NAME_A, "A000000000" + std::to_string(i + 1))});
        }
    }

    GridView &grid() const { return *window->hostGrid(); }
    RecId row(const std::string &ip) const { return test::rowOf(grid(), kHostKeyField, ip); }
    std::string current() const { return window->hostTable().value(kHostKeyField); }
    std::vector<std::string> ticked() const
    {
        std::vector<std::string> ips;
        for (int i = 0; i < window->hostTable().count(); ++i)
            if (window->hostTable().valueAt(i, kHostCheckField) == "True")
                ips.push_back(window->hostTable().valueAt(i, kHostKeyField));
        return ips;
    }
    // A poll, and every open agent answers it.
    void poll()
    {
        window->TimerUpdateTimer();
        for (auto &script : sockets)
            if (script->active && !script->writes.empty())
                answer(*script, {pbu(OES_NAME_A, "A0000000001")});
    }
    QWidget *detailOf(const std::string &ip) const
    {
        return dynamic_cast<QWidget *>(window->hostPool().find(ip)->getDetailWindow());
    }
    void pressOnGrid(Qt::Key key) { test::pressKey(grid(), key); }
    void clickToolButton(const std::string &caption)
    {
        auto *bar = window->findChild<QToolBar *>();
        QTest::mouseClick(bar->widgetForAction(window->actions().find(caption)), Qt::LeftButton);
    }

    std::unique_ptr<TF_Main> window;
};

// What runs while every dialog is open: two polls, an agent that drops, a flash step, and
// the troubleshooting timers of an open detail window.
void meanwhile(Operator &op, TF_Main &window, std::vector<std::shared_ptr<test::Script>> &sockets)
{
    (void)op;
    // A command's own bracket (the delete walks) stays open across the ticks.
    const bool walking = window.hostTable().suspended();
    window.TimerUpdateTimer();
    ScriptedAgentSocket::peerClose(*sockets[3]);
    window.TimerFlashTimer();
    window.TimerUpdateTimer();
    for (const auto &[ip, host] : window.hostPool())
        if (auto *detail = dynamic_cast<TF_HOST *>(host->getDetailWindow())) {
            detail->TimerAgentConTimer();
            detail->TimerTSTimer();
        }
    EXPECT_EQ(window.hostTable().suspended(), walking);
}

struct ModalCase
{
    const char *name;
    std::function<void(Operator &)> open;    // what the operator does to open the dialog
    std::function<void()> answer;            // how the dialog is answered
    std::function<void(Operator &)> check;   // what holds afterwards
};

class ModalDialogs : public Operator, public ::testing::WithParamInterface<ModalCase>
{
public:
    void meanwhileHere() { meanwhile(*this, *window, sockets); }
    friend struct Access;
};

struct Access
{
    static std::string hostFile(ModalDialogs &t) { return test::readFile(t.dir.file("TarvoMonitor.CFG")); }
    static TF_Main &window(ModalDialogs &t) { return *t.window; }
    static RecId row(ModalDialogs &t, const std::string &ip) { return t.row(ip); }
};

TEST_P(ModalDialogs, SurviveThePollsAndEventsThatArriveWhileTheyAreOpen)
{
    const ModalCase &c = GetParam();
    test::whenModal([this] { meanwhileHere(); }, c.answer);
    c.open(*this);
    EXPECT_EQ(test::openModal(), nullptr);
    EXPECT_FALSE(window->hostTable().suspended());
    EXPECT_FALSE(window->pbuTable().suspended());
    EXPECT_EQ(field(*window, "10.0.0.4", "Connection"), "已断开");
    c.check(*this);
    for (const std::string &line : logLines())
        EXPECT_EQ(line.find("xception from"), std::string::npos) << line;
}

INSTANTIATE_TEST_SUITE_P(
    Interaction, ModalDialogs,
    ::testing::Values(
        ModalCase{"DelOnTheSelectedRowAnsweredYes",
                  [](Operator &op) {
                      auto &t = static_cast<ModalDialogs &>(op);
                      test::clickCell(*Access::window(t).hostGrid(), Access::row(t, "10.0.0.2"), 1);
                      test::pressKey(*Access::window(t).hostGrid(), Qt::Key_Delete);
                  },
                  [] { test::answerMessageBox(true); },
                  [](Operator &op) {
                      auto &t = static_cast<ModalDialogs &>(op);
                      EXPECT_EQ(Access::row(t, "10.0.0.2"), kNoRecId);
                      EXPECT_EQ(Access::hostFile(t).find("10.0.0.2,"), std::string::npos);
                  }},
        ModalCase{"ToolBarDeleteOfATickedHostAnsweredNo",
                  [](Operator &op) {
                      auto &t = static_cast<ModalDialogs &>(op);
                      test::clickCheckBox(*Access::window(t).hostGrid(), Access::row(t, "10.0.0.1"));
                      QTest::mouseClick(Access::window(t).findChild<QToolBar *>()->widgetForAction(
                                            Access::window(t).actions().find("删除报盘机")),
                                        Qt::LeftButton);
                  },
                  [] { test::answerMessageBox(false); },
                  [](Operator &op) {
                      auto &t = static_cast<ModalDialogs &>(op);
                      EXPECT_NE(Access::row(t, "10.0.0.1"), kNoRecId);
                      EXPECT_NE(Access::hostFile(t).find("10.0.0.1,"), std::string::npos);
                  }},
        ModalCase{"F2EditsTheAliasWhileTheAgentAnswers",
                  [](Operator &op) {
                      auto &t = static_cast<ModalDialogs &>(op);
                      test::clickCell(*Access::window(t).hostGrid(), Access::row(t, "10.0.0.3"), 1);
                      test::pressKey(*Access::window(t).hostGrid(), Qt::Key_F2);
                  },
                  [] { test::answerHostDialog("", "renamed", "10012", true); },
                  [](Operator &op) {
                      auto &t = static_cast<ModalDialogs &>(op);
                      EXPECT_NE(Access::hostFile(t).find("renamed,10.0.0.3,"), std::string::npos);
                  }},
        ModalCase{"InsAddsAHost",
                  [](Operator &op) {
                      auto &t = static_cast<ModalDialogs &>(op);
                      test::pressKey(*Access::window(t).hostGrid(), Qt::Key_Insert);
                  },
                  [] { test::answerHostDialog("10.0.0.9", "new", "10012", true); },
                  [](Operator &op) {
                      auto &t = static_cast<ModalDialogs &>(op);
                      EXPECT_NE(Access::row(t, "10.0.0.9"), kNoRecId);
                      EXPECT_NE(Access::hostFile(t).find("new,10.0.0.9,10012,"), std::string::npos);
                  }},
        ModalCase{"DeleteWhileADetailWindowTroubleshoots",
                  [](Operator &op) {
                      auto &t = static_cast<ModalDialogs &>(op);
                      TF_Main &w = Access::window(t);
                      test::clickCell(*w.hostGrid(), Access::row(t, "10.0.0.2"), 1);
                      test::pressKey(*w.hostGrid(), Qt::Key_F5);
                      auto *detail = dynamic_cast<TF_HOST *>(w.hostPool().find("10.0.0.2")->getDetailWindow());
                      ASSERT_NE(detail, nullptr);
                      QPushButton *start = test::buttonOf(*detail, "故障检测");
                      ASSERT_NE(start, nullptr);
                      QTest::mouseClick(start, Qt::LeftButton);
                      EXPECT_TRUE(detail->stepTimerActive());
                      w.activateWindow();
                      test::pressKey(*w.hostGrid(), Qt::Key_Delete);
                  },
                  [] { test::answerMessageBox(true); },
                  [](Operator &op) {
                      auto &t = static_cast<ModalDialogs &>(op);
                      EXPECT_EQ(Access::row(t, "10.0.0.2"), kNoRecId);
                  }},
        ModalCase{"ExitAnsweredNo", [](Operator &op) {
                      Access::window(static_cast<ModalDialogs &>(op)).close();
                  },
                  [] { test::answerMessageBox(false); },
                  [](Operator &op) {
                      EXPECT_TRUE(Access::window(static_cast<ModalDialogs &>(op)).isVisible());
                  }}),
    [](const auto &info) { return std::string(info.param.name); });

// A click anywhere in a row, its check box included, makes that row current first.
struct ClickCase
{
    const char *name;
    std::function<void(Operator &, GridView &, std::function<RecId(const char *)>)> act;
    std::vector<std::string> ticked;
    const char *current;
};

class CheckBoxClicks : public Operator, public ::testing::WithParamInterface<ClickCase>
{
};

TEST_P(CheckBoxClicks, ActOnTheRowThatWasClicked)
{
    const ClickCase &c = GetParam();
    test::clickCell(grid(), row("10.0.0.3"), 1);
    ASSERT_EQ(current(), "10.0.0.3");
    c.act(*this, grid(), [this](const char *ip) { return row(ip); });
    EXPECT_EQ(ticked(), c.ticked);
    EXPECT_EQ(current(), c.current);
    EXPECT_EQ(window->checkedHostCount, int(c.ticked.size()));
}

INSTANTIATE_TEST_SUITE_P(
    Interaction, CheckBoxClicks,
    ::testing::Values(
        ClickCase{"ClickOnABox", [](Operator &, GridView &g, auto row) { test::clickCheckBox(g, row("10.0.0.4")); },
                  {"10.0.0.4"}, "10.0.0.4"},
        ClickCase{"ClickOnABoxThenSpace",
                  [](Operator &, GridView &g, auto row) {
                      test::clickCheckBox(g, row("10.0.0.4"));
                      test::pressKey(g, Qt::Key_Space);
                  },
                  {}, "10.0.0.4"},
        ClickCase{"DoubleClickOnABox",
                  [](Operator &, GridView &g, auto row) { test::clickCheckBox(g, row("10.0.0.2"), true); },
                  {"10.0.0.2"}, "10.0.0.2"},
        ClickCase{"DoubleClickOnAText",
                  [](Operator &, GridView &g, auto row) { test::doubleClickCell(g, row("10.0.0.2"), 2); },
                  {"10.0.0.2"}, "10.0.0.2"},
        ClickCase{"TwoDoubleClicksOnABox",
                  [](Operator &, GridView &g, auto row) {
                      test::clickCheckBox(g, row("10.0.0.1"), true);
                      test::clickCheckBox(g, row("10.0.0.1"), true);
                  },
                  {}, "10.0.0.1"}),
    [](const auto &info) { return std::string(info.param.name); });

// F5 in the host grid opens the selected host; the main menu's F5 the one ticked host.
TEST_F(Operator, F5OpensTheSelectedHostInTheGridAndTheTickedOneFromTheMenu)
{
    test::clickCheckBox(grid(), row("10.0.0.1"));
    test::clickCell(grid(), row("10.0.0.3"), 2);
    pressOnGrid(Qt::Key_F5);
    ASSERT_NE(detailOf("10.0.0.3"), nullptr);
    EXPECT_TRUE(detailOf("10.0.0.3")->isVisible());
    EXPECT_EQ(detailOf("10.0.0.1"), nullptr);
    window->actions().find("报盘机详情监控(&D)")->trigger();
    ASSERT_NE(detailOf("10.0.0.1"), nullptr);
    EXPECT_EQ(current(), "10.0.0.3");
}

// The pop-up menu acts on the row it was opened on.
TEST_F(Operator, PopupMenuItemsActOnTheRowTheMenuWasOpenedOn)
{
    QMenu *menu = test::openPopup(*window, grid(), row("10.0.0.2"));
    ASSERT_NE(menu, nullptr);
    EXPECT_TRUE(test::chooseItem(*menu, "查看详细信息(F5)"));
    EXPECT_NE(detailOf("10.0.0.2"), nullptr);
    menu = test::openPopup(*window, grid(), row("10.0.0.4"));
    ASSERT_NE(menu, nullptr);
    EXPECT_TRUE(test::chooseItem(*menu, "断开当前报盘机(&O)"));
    EXPECT_EQ(field(*window, "10.0.0.4", "Connection"), "已断开");
    EXPECT_EQ(field(*window, "10.0.0.2", "Connection"), "已连接");
}

} // namespace
} // namespace tarvo
