// What the console's commands and status-bar counters should show, worked out from the
// host and PBU tables; the main window applies it to its menus, buttons and status bar.
#pragma once

#include "framework/RecordSet.h"

#include <optional>
#include <string>

namespace tarvo {

enum class MainPage { Host, Pbu };

// When the commands are refreshed: once at start-up (the host page, most commands off), or
// after a change of page, check mark or connection (worked out from the tables).
enum class CommandMode { StartUp, AfterChange };

// Each member is the new enabled state of one command; unset means "leave it as it is".
struct CommandStates {
    std::optional<bool> addHost;         // tool button "添加报盘机"
    std::optional<bool> deleteHost;      // tool button "删除报盘机"
    std::optional<bool> connect;         // tool button "连接"
    std::optional<bool> disconnect;      // tool button "断开"
    std::optional<bool> menuConnect;     // menu item "连接(&C)"
    std::optional<bool> menuDisconnect;  // menu item "断开(&O)"
    std::optional<bool> hostStatusView;  // menu item "报盘机状态一览(&M)"
    std::optional<bool> pbuStatusView;   // menu item "PBU状态一览(&P) "
    std::optional<bool> hostDetail;      // menu item "报盘机详情监控(&D)"
    std::optional<MainPage> activePage;  // page to make active
    std::optional<std::string> versionPanel;  // third status-bar panel
    std::string countersPanel;                // second status-bar panel
};

// Reads the tables without moving their cursors.
CommandStates computeCommandStates(CommandMode mode, MainPage activePage,
                                   const RecordSet& hostTable, const RecordSet& pbuTable,
                                   int checkedHostCount, int checkedPbuCount);

// "HOST:" checked "/" rows " PBU:" checked "/" rows, e.g. "HOST:2/5 PBU:0/14".
std::string countersText(int checkedHostCount, int hostRows, int checkedPbuCount, int pbuRows);

// Rows whose check field holds "True".
int countChecked(const RecordSet& table, std::string_view checkField);

} // namespace tarvo
