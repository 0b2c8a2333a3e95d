// Fixed texts of the console: its title, versions and the names of its files.
#pragma once

#include <string>

namespace tarvo {

// Application title, first line of the about text and start of the main window's caption.
inline const std::string PRODUCT_TITLE = "Tarvo报盘机监控系统";
inline const std::string CAPTION_SUFFIX = " (显示信息非实时更新，仅供参考)";
inline const std::string SOFTWARE_VERSION = "2009版";
inline const std::string HOST_LIST_FILE = "TarvoMonitor.CFG";
inline const std::string HELP_FILE = "TarvoMonitorHelp.chm";
// Name of the single-instance lock.
inline const std::string INSTANCE_NAME = "TarvoMonitor";

// A host row's "Connection": never connected, connected, and closed since.
inline const std::string kNotConnected = "未连接";
inline const std::string kConnected = "已连接";
inline const std::string kDisconnected = "已断开";

} // namespace tarvo
