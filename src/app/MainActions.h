// The main window's commands: one QAction per menu item, tool button and pop-up item, named
// after the component it stands for, and the menus, tool bar and pop-up menus they sit in.
#pragma once

#include <array>
#include <string_view>

class QAction;
class QMainWindow;
class QMenu;

namespace tarvo {

enum class MainAction {
    // main menu
    MMnHostCnt, MMnHostDCnt, MMnExit, MMnHOSTStatus, MMnPBUStatus, MMnHOSTDetail, MMnDebug,
    MMnLog, MMnHelp, MMnSwitch, MMnMinimize, MMnNormal, MMnMaximize, MMnAbout,
    // hidden items: only their shortcuts are reachable
    N7, N8,
    // tool bar
    BtnConnect, BtnDisconnect, BtnAddHost, BtnDeleteHost,
    // the host grid's pop-up menu
    PMnHSltHl, PMnHCnlHl, PMnHostCnt, PMnHostDCnt, PMnHostAdd, PMnHostDel, PMnHostEdit,
    PMnHostDetail,
    // the PBU grid's pop-up menu
    PMnPSltHl, PMnPCnlHl,
    // the error list's pop-up menu
    PMnClearLog,
    Count
};

class MainActions
{
public:
    // Creates every action (owned by `window`) and puts them into the window's menu bar and
    // tool bar and into the pop-up menus. Nothing is connected yet.
    explicit MainActions(QMainWindow &window);

    QAction *operator[](MainAction action) const { return actions[size_t(action)]; }
    // The first action with this caption (GBK), or nullptr.
    QAction *find(std::string_view caption) const;

    QMenu *windowMenu() const { return MMnWindow; }
    QMenu *hostPopup() const { return PMnHostPopup; }
    QMenu *pbuPopup() const { return PMnPBUPopup; }

private:
    void buildMenuBar(QMainWindow &window);
    void buildToolBar(QMainWindow &window);
    void buildPopups(QMainWindow &window);

    std::array<QAction *, size_t(MainAction::Count)> actions{};
    QMenu *MMnWindow = nullptr;
    QMenu *PMnHostPopup = nullptr;
    QMenu *PMnPBUPopup = nullptr;
};

} // namespace tarvo
