// The main window's actions: their captions, shortcuts and icons, and where each one sits.
#include "app/MainActions.h"

#include "framework/QtText.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStyle>
#include <QToolBar>

#include <string>
#include <vector>

namespace tarvo {

namespace {

struct ActionDef
{
    MainAction id;
    const char *caption;
    QKeySequence shortcut;
    bool checkable = false;
};

using A = MainAction;

std::vector<ActionDef> actionDefs()
{
    return {
        {A::MMnHostCnt, "连接(&C)", QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_C)},
        {A::MMnHostDCnt, "断开(&O)", QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_O)},
        {A::MMnExit, "退出(&Q)", {}},
        {A::MMnHOSTStatus, "报盘机状态一览(&M)", QKeySequence(Qt::CTRL | Qt::Key_H)},
        {A::MMnPBUStatus, "PBU状态一览(&P) ", QKeySequence(Qt::CTRL | Qt::Key_P)},
        {A::MMnHOSTDetail, "报盘机详情监控(&D)", QKeySequence(Qt::Key_F5)},
        {A::MMnDebug, "记录所有收发消息", {}, true},
        {A::MMnLog, "系统日志(&L)", QKeySequence(Qt::Key_F3), true},
        {A::MMnHelp, "帮助(&H)", QKeySequence(Qt::Key_F1)},
        {A::MMnSwitch, "切换窗口(&C)", QKeySequence(Qt::Key_F8)},
        {A::MMnMinimize, "最小化(&I)", QKeySequence(Qt::Key_F9), true},
        {A::MMnNormal, "正常窗口(&N)", QKeySequence(Qt::Key_F10), true},
        {A::MMnMaximize, "最大化(&M)", QKeySequence(Qt::Key_F11), true},
        {A::MMnAbout, "关于(&A)", {}},
        {A::N7, "选中所有", QKeySequence(Qt::CTRL | Qt::Key_A)},
        {A::N8, "取消选中", QKeySequence(Qt::CTRL | Qt::Key_Z)},
        {A::BtnConnect, "连接", {}},
        {A::BtnDisconnect, "断开", {}},
        {A::BtnAddHost, "添加报盘机", {}},
        {A::BtnDeleteHost, "删除报盘机", {}},
        {A::PMnHSltHl, "选中高亮报盘机(&L)", {}},
        {A::PMnHCnlHl, "取消高亮选中(&Z)", {}},
        {A::PMnHostCnt, "连接当前报盘机(&C)", {}},
        {A::PMnHostDCnt, "断开当前报盘机(&O)", {}},
        {A::PMnHostAdd, "添加报盘机信息(Ins)", QKeySequence(Qt::Key_Insert)},
        {A::PMnHostDel, "删除当前报盘机(Del)", QKeySequence(Qt::Key_Delete)},
        {A::PMnHostEdit, "更改报盘机信息(F2)", QKeySequence(Qt::Key_F2)},
        {A::PMnHostDetail, "查看详细信息(F5)", {}},
        {A::PMnPSltHl, "选中高亮PBU(&L)", {}},
        {A::PMnPCnlHl, "取消高亮选中(&Z)", {}},
        {A::PMnClearLog, "删除全部日志(&D)", {}},
    };
}

} // namespace

MainActions::MainActions(QMainWindow &window)
{
    for (const ActionDef &def : actionDefs()) {
        auto *action = new QAction(qtText(def.caption), &window);
        if (!def.shortcut.isEmpty())
            action->setShortcut(def.shortcut);
        action->setCheckable(def.checkable);
        actions[size_t(def.id)] = action;
    }
    (*this)[A::MMnLog]->setChecked(true);
    // F9 shows the console in front of everything else ("前端显示"), restoring it when it was
    // minimised: a window that hides itself cannot be in front.
    (*this)[A::MMnMinimize]->setStatusTip(qtText("前端显示"));
    buildMenuBar(window);
    buildToolBar(window);
    buildPopups(window);
}

QAction *MainActions::find(std::string_view caption) const
{
    const QString text = qtText(std::string(caption));
    for (QAction *action : actions) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

void MainActions::buildMenuBar(QMainWindow &window)
{
    const MainActions &a = *this;
    QMenuBar *bar = window.menuBar();
    QMenu *daily = bar->addMenu(qtText("日常操作(&O)"));
    daily->addAction(a[A::MMnHostCnt]);
    daily->addAction(a[A::MMnHostDCnt]);
    daily->addSeparator();
    daily->addAction(a[A::MMnExit]);

    QMenu *monitor = bar->addMenu(qtText("状态监控(&M)"));
    monitor->addAction(a[A::MMnHOSTStatus]);
    monitor->addAction(a[A::MMnPBUStatus]);
    monitor->addSeparator();
    monitor->addAction(a[A::MMnHOSTDetail]);

    QMenu *tools = bar->addMenu(qtText("工具(&T)"));
    tools->addAction(a[A::MMnDebug]);

    MMnWindow = bar->addMenu(qtText("窗口(&W)"));
    MMnWindow->addAction(a[A::MMnLog]);
    MMnWindow->addAction(a[A::MMnHelp]);
    MMnWindow->addAction(a[A::MMnSwitch]);
    MMnWindow->addSeparator();
    MMnWindow->addAction(a[A::MMnMinimize]);
    MMnWindow->addAction(a[A::MMnNormal]);
    MMnWindow->addAction(a[A::MMnMaximize]);

    bar->addAction(a[A::MMnAbout]);
    bar->addAction(a[A::MMnExit]);
    window.addAction(a[A::N7]);
    window.addAction(a[A::N8]);
}

void MainActions::buildToolBar(QMainWindow &window)
{
    QToolBar *toolBar = window.addToolBar(qtText("工具栏"));
    toolBar->setMovable(false);
    toolBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    const struct
    {
        MainAction id;
        const char *tip;
        QStyle::StandardPixmap icon;
    } buttons[] = {
        {A::BtnConnect, "连接选中的主机", QStyle::SP_MediaPlay},
        {A::BtnDisconnect, "断开选中的主机", QStyle::SP_MediaStop},
        {A::BtnAddHost, "添加一台新主机", QStyle::SP_FileDialogNewFolder},
        {A::BtnDeleteHost, "删除选中主机", QStyle::SP_TrashIcon},
    };
    for (const auto &button : buttons) {
        QAction *action = (*this)[button.id];
        action->setToolTip(qtText(button.tip));
        action->setIcon(window.style()->standardIcon(button.icon));
        toolBar->addAction(action);
        if (button.id == A::BtnDisconnect)
            toolBar->addSeparator();
    }
}

void MainActions::buildPopups(QMainWindow &window)
{
    const MainActions &a = *this;
    PMnHostPopup = new QMenu(&window);
    PMnHostPopup->addAction(a[A::PMnHSltHl]);
    PMnHostPopup->addAction(a[A::PMnHCnlHl]);
    PMnHostPopup->addSeparator();
    PMnHostPopup->addAction(a[A::PMnHostCnt]);
    PMnHostPopup->addAction(a[A::PMnHostDCnt]);
    PMnHostPopup->addAction(a[A::PMnHostAdd]);
    PMnHostPopup->addAction(a[A::PMnHostDel]);
    PMnHostPopup->addSeparator();
    PMnHostPopup->addAction(a[A::PMnHostEdit]);
    PMnHostPopup->addAction(a[A::PMnHostDetail]);
    // Their shortcuts work while the host grid has the focus (see the window's wiring).
    for (MainAction id : {A::PMnHostAdd, A::PMnHostDel, A::PMnHostEdit}) {
        a[id]->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        a[id]->setShortcutVisibleInContextMenu(false);
    }

    PMnPBUPopup = new QMenu(&window);
    PMnPBUPopup->addAction(a[A::PMnPSltHl]);
    PMnPBUPopup->addAction(a[A::PMnPCnlHl]);
}

} // namespace tarvo
