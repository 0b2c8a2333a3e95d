// Check marks and selection on both grids: toggling, checking and clearing selected rows,
// all rows, the counters, the grid keys and the pop-up menus' enabling.
#include "AgentTestSupport.h"
#include "framework/GridView.h"

#include <QAction>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QMenu>

namespace tarvo {
namespace {

using namespace tarvo::testing;

const char *kMarkHosts = "h1,127.0.0.1,10012,N,N,0,\r\nh2,127.0.0.2,10012,N,N,0,\r\n"
                     "h3,127.0.0.3,10012,N,N,0,\r\n";

class CheckMarks : public test::AgentConsole
{
protected:
    void SetUp() override
    {
        window = start(kMarkHosts);
        ScriptedAgentSocket::connect(*sockets[0]);
        answer(*sockets[0], {pbu(OES_NAME_A, "A0000000001"), pbu(OES_NAME_A, "A0000000002"),
                             pbu(OES_NAME_B, "B0000000001")});
    }
    RecId host(const std::string &ip)
    {
        EXPECT_TRUE(window->hostTable().locate("ChannelIP", ip));
        return window->hostTable().currentRecId();
    }
    std::string mark(const std::string &ip)
    {
        return window->hostTable().valueAt(window->hostTable().positionOf(host(ip)),
                                           "HOSTColumnCheck");
    }
    int checkedRows(bool hostGrid)
    {
        RecordSet &t = hostGrid ? window->hostTable() : window->pbuTable();
        int n = 0;
        for (int i = 0; i < t.count(); ++i)
            n += t.valueAt(i, hostGrid ? "HOSTColumnCheck" : "Checked") == "True";
        return n;
    }
    void press(bool hostGrid, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QKeyEvent event(QEvent::KeyPress, key, modifiers);
        QCoreApplication::sendEvent(hostGrid ? window->hostGrid() : window->pbuGrid(), &event);
    }
    std::unique_ptr<TF_Main> window;
};

TEST_F(CheckMarks, ToggleTwiceLeavesMarkAndCounterAsTheyWere)
{
    host("127.0.0.2");
    window->marks(MainPage::Host).toggleCurrentCheck();
    EXPECT_EQ(mark("127.0.0.2"), "True");
    EXPECT_EQ(window->checkedHostCount, 1);
    EXPECT_EQ(window->statusPanelText(1), "HOST:1/3 PBU:0/3");
    host("127.0.0.2");
    window->marks(MainPage::Host).toggleCurrentCheck();
    EXPECT_EQ(mark("127.0.0.2"), "False");
    EXPECT_EQ(window->checkedHostCount, 0);
}

TEST_F(CheckMarks, SelectedRowsAreCheckedOnceAndTheCursorAndScrollStay)
{
    window->hostGridState().setSelection({host("127.0.0.1"), host("127.0.0.3")});
    host("127.0.0.2");
    window->hostGridState().setFirstVisibleRow(1);
    window->marks(MainPage::Host).checkSelectedRows();
    window->marks(MainPage::Host).checkSelectedRows();  // checked already: nothing changes
    EXPECT_EQ(window->checkedHostCount, 2);
    EXPECT_EQ(checkedRows(true), 2);
    EXPECT_EQ(window->hostTable().value("ChannelIP"), "127.0.0.2");
    EXPECT_EQ(window->hostGridState().firstVisibleRow(), 1);
    EXPECT_TRUE(window->actions().find("断开")->isEnabled());  // 127.0.0.1 is ticked and connected
    window->marks(MainPage::Host).uncheckSelectedRows();
    EXPECT_EQ(window->checkedHostCount, 0);
    EXPECT_EQ(checkedRows(true), 0);
}

TEST_F(CheckMarks, CheckAllLeavesNothingSelectedAndUncheckAllZeroesTheCounter)
{
    window->pbuGridState().setSelection({window->pbuTable().recIdAt(1)});
    window->marks(MainPage::Pbu).checkAll();
    EXPECT_EQ(window->checkedPbuCount, 3);
    EXPECT_EQ(checkedRows(false), 3);
    EXPECT_TRUE(window->pbuGridState().selectedRecIds().empty());
    window->marks(MainPage::Pbu).uncheckAll();
    EXPECT_EQ(window->checkedPbuCount, 0);
    EXPECT_EQ(checkedRows(false), 0);
    window->marks(MainPage::Host).uncheckAll();  // nothing checked: still fine
    EXPECT_EQ(window->checkedHostCount, 0);
}

TEST_F(CheckMarks, KeysActWhateverTheModifiers)
{
    host("127.0.0.3");
    press(true, Qt::Key_Space, Qt::ShiftModifier);
    EXPECT_EQ(mark("127.0.0.3"), "True");
    window->hostGridState().setSelection({host("127.0.0.1"), host("127.0.0.2")});
    press(true, Qt::Key_L, Qt::ShiftModifier);
    EXPECT_EQ(window->checkedHostCount, 3);
    press(true, Qt::Key_Z);
    EXPECT_EQ(window->checkedHostCount, 1);
    press(false, Qt::Key_Space);  // the PBU grid's current row
    EXPECT_EQ(window->checkedPbuCount, 1);

    // C and O act on the host grid's selection: 127.0.0.2 connects, 127.0.0.1 disconnects.
    now += 3000;
    window->hostGridState().setSelection({host("127.0.0.2")});
    press(true, Qt::Key_C);
    EXPECT_EQ(sockets[1]->opens.size(), 2u);
    window->hostGridState().setSelection({host("127.0.0.1")});
    press(true, Qt::Key_O, Qt::AltModifier);
    EXPECT_EQ(field(*window, "127.0.0.1", "Connection"), "已断开");
    press(false, Qt::Key_C);  // not a key of the PBU grid
    EXPECT_EQ(sockets[1]->opens.size(), 2u);
}

TEST_F(CheckMarks, HostPopupFollowsTheSelection)
{
    auto enabled = [this](const char *caption) { return window->actions().find(caption)->isEnabled(); };
    window->hostGridState().setSelection({host("127.0.0.1")});
    window->hostPopupOpening();
    EXPECT_TRUE(enabled("断开当前报盘机(&O)"));
    EXPECT_FALSE(enabled("连接当前报盘机(&C)"));
    EXPECT_TRUE(enabled("查看详细信息(F5)"));
    EXPECT_TRUE(enabled("更改报盘机信息(F2)"));
    window->hostGridState().setSelection({host("127.0.0.1"), host("127.0.0.2")});
    window->hostPopupOpening();
    EXPECT_TRUE(enabled("连接当前报盘机(&C)"));
    EXPECT_FALSE(enabled("查看详细信息(F5)"));  // details need exactly one row
    EXPECT_FALSE(enabled("更改报盘机信息(F2)"));

    // The PBU pop-up's items check and clear the PBU grid's selection.
    window->pbuGridState().setSelection({window->pbuTable().recIdAt(0)});
    window->pbuPopupOpening();
    window->actions().find("选中高亮PBU(&L)")->trigger();
    EXPECT_EQ(window->checkedPbuCount, 1);
}

TEST_F(CheckMarks, AnswerDroppingACheckedPbuLowersTheCounter)
{
    window->marks(MainPage::Pbu).checkAll();
    window->TimerUpdateTimer();
    answer(*sockets[0], {pbu(OES_NAME_A, "A0000000001")});
    window->TimerUpdateTimer();
    answer(*sockets[0], {pbu(OES_NAME_A, "A0000000001")});  // the others missed twice: gone
    EXPECT_EQ(window->pbuTable().count(), 1);
    EXPECT_EQ(window->checkedPbuCount, 1);
}

} // namespace
} // namespace tarvo
