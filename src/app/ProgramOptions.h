// Command line of TarvoMonitor.
#pragma once

#include <string>
#include <vector>

namespace tarvo {

struct ProgramOptions
{
    std::string directory;      // --dir: working directory (host list file, logs); "" keeps it
    std::string iniPath;        // --ini: settings file; "" means next to the executable
    std::string instanceName;   // --instance: single-instance lock name; "" the default
    bool headless = false;      // --headless
    bool once = false;          // --once: poll every host once, print, exit (implies headless)
    int onceSeconds = 10;       // --timeout: how long --once waits for the answers
    std::string metrics;        // --metrics ADDR:PORT: serve /metrics; "" none
    int reconnectSeconds = -1;  // --reconnect: bound of the automatic reconnect; 0 off,
                                // -1 not given (30 headless, off with the window)
    std::string onAlarm;        // --on-alarm COMMAND: run at every alarm; "" none
    bool help = false;
    bool version = false;
    std::string error;          // set when the command line is wrong
};

ProgramOptions parseProgramOptions(const std::vector<std::string> &arguments);
// The automatic reconnect's bound in seconds for these options; 0 when it is off.
int reconnectBoundSeconds(const ProgramOptions &options);
std::string usageText(const std::string &program);

} // namespace tarvo
