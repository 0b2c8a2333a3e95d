// Where the console keeps its files: as started (the working directory and the settings
// beside the executable, or --dir and --ini), or per user when it is installed and started
// without either (the desktop entry starts it in $HOME).
#pragma once

#include <functional>
#include <string>

namespace tarvo {

struct ProgramOptions;

struct ConsolePaths
{
    std::string directory;   // host list and logs/; "" keeps the working directory
    std::string iniPath;     // settings; "" means beside the executable
    bool perUser = false;    // $XDG_DATA_HOME/tarvo and $XDG_CONFIG_HOME/tarvo/TarvoMonitor.ini
};

// `environment` reads a variable ("" when unset; null: getenv).
ConsolePaths consolePaths(const ProgramOptions &options, const std::string &executable,
                          const std::function<std::string(const char *)> &environment = {});

// Makes sure XDG_RUNTIME_DIR names a private folder, so that Qt does not warn on stderr
// when it is unset (cron, a service): <temp>/runtime-<uid>, made with mode 0700.
void ensureRuntimeDirectory();

} // namespace tarvo
