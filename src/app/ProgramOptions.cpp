// Parsing TarvoMonitor's command line.
#include "app/ProgramOptions.h"

#include <cstdlib>

namespace tarvo {

ProgramOptions parseProgramOptions(const std::vector<std::string> &arguments)
{
    ProgramOptions options;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string &arg = arguments[i];
        auto value = [&](std::string &target) {
            const size_t eq = arg.find('=');
            if (eq != std::string::npos) {
                target = arg.substr(eq + 1);
            } else if (i + 1 < arguments.size()) {
                target = arguments[++i];
            } else {
                options.error = "missing value for " + arg;
                return;
            }
            if (target.empty())
                options.error = "empty value for " + arg.substr(0, eq);
        };
        // A whole number of seconds from `least` to 3600.
        auto seconds = [&](int &target, long least) {
            std::string text;
            value(text);
            char *end = nullptr;
            const long n = options.error.empty() ? std::strtol(text.c_str(), &end, 10) : 0;
            if (options.error.empty() && (!end || *end || n < least || n > 3600))
                options.error = arg.substr(0, arg.find('=')) + " takes a number of seconds from " +
                                std::to_string(least) + " to 3600, not " + text;
            target = int(n);
        };
        auto is = [&arg](const char *name) {
            return arg == name || arg.rfind(std::string(name) + "=", 0) == 0;
        };
        if (arg == "--help" || arg == "-h")
            options.help = true;
        else if (arg == "--version")
            options.version = true;
        else if (arg == "--headless")
            options.headless = true;
        else if (arg == "--once")
            options.once = options.headless = true;
        else if (is("--timeout"))
            seconds(options.onceSeconds, 1);
        else if (is("--reconnect"))
            seconds(options.reconnectSeconds, 0);
        else if (is("--on-alarm"))
            value(options.onAlarm);
        else if (is("--metrics"))
            value(options.metrics);
        else if (is("--dir"))
            value(options.directory);
        else if (is("--ini"))
            value(options.iniPath);
        else if (is("--instance"))
            value(options.instanceName);
        else
            options.error = "unknown option " + arg;
        if (!options.error.empty())
            break;
    }
    return options;
}

int reconnectBoundSeconds(const ProgramOptions &options)
{
    if (options.once)
        return 0;
    if (options.reconnectSeconds >= 0)
        return options.reconnectSeconds;
    return options.headless ? 30 : 0;
}

std::string usageText(const std::string &program)
{
    return "Usage: " + program + " [OPTIONS]\n"
           "The operator's console of the order-submission hosts.\n\n"
           "  --dir DIR        working directory: host list TarvoMonitor.CFG and logs/\n"
           "                   (default: the current directory; installed in /usr/bin:\n"
           "                   $XDG_DATA_HOME/tarvo, ~/.local/share/tarvo unless set)\n"
           "  --ini FILE       settings file (default: the executable's path with .ini;\n"
           "                   installed: $XDG_CONFIG_HOME/tarvo/TarvoMonitor.ini)\n"
           "  --headless       run without a window; print the error list as it grows and\n"
           "                   the host and PBU tables after every poll (stop with Ctrl+C)\n"
           "  --once           poll every host once, as a check plugin: one status line with\n"
           "                   performance data, the problems, the tables; exit 0 when every\n"
           "                   host answered and every expected program and PBU runs, 1 when a\n"
           "                   program or PBU does not run, 2 when a host does not answer, 3 on\n"
           "                   bad usage or unreadable files (takes no instance lock)\n"
           "  --timeout SECS   how long --once waits at most (default 10); it ends as soon as\n"
           "                   every host has answered or failed\n"
           "  --reconnect SECS reconnect lost agents within SECS, with back-off and jitter\n"
           "                   (default 30 with --headless; 0: only by command, as the\n"
           "                   window does without this option)\n"
           "  --on-alarm COMMAND  run COMMAND (no shell; arguments split at blanks) at every\n"
           "                   lost connection, stopped program or PBU and resource alert, with\n"
           "                   TARVO_EVENT, TARVO_HOST, TARVO_HOST_NAME, TARVO_PROGRAM,\n"
           "                   TARVO_PBU, TARVO_STATE, TARVO_TIME and TARVO_TEXT set (UTF-8);\n"
           "                   at most 4 at once, each ended after 10 s\n"
           "  --metrics ADDR:PORT  serve Prometheus metrics at http://ADDR:PORT/metrics\n"
           "                   (a bare PORT binds 127.0.0.1)\n"
           "  --instance NAME  name of the single-instance lock (default: TarvoMonitor)\n"
           "  --version        print the version and exit\n"
           "  --help           print this text and exit\n";
}

} // namespace tarvo
