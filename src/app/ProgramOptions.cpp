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
        else if (is("--timeout")) {
            std::string seconds;
            value(seconds);
            char *end = nullptr;
            const long n = options.error.empty() ? std::strtol(seconds.c_str(), &end, 10) : 0;
            if (options.error.empty() && (!end || *end || n < 1 || n > 3600))
                options.error = "--timeout takes a number of seconds from 1 to 3600, not " + seconds;
            options.onceSeconds = int(n);
        } else if (is("--metrics"))
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

std::string usageText(const std::string &program)
{
    return "Usage: " + program + " [OPTIONS]\n"
           "The operator's console of the order-submission hosts.\n\n"
           "  --dir DIR        working directory: host list TarvoMonitor.CFG and logs/\n"
           "                   (default: the current directory)\n"
           "  --ini FILE       settings file (default: the executable's path with .ini)\n"
           "  --headless       run without a window; print the error list as it grows and\n"
           "                   the host and PBU tables after every poll (stop with Ctrl+C)\n"
           "  --once           poll every host once, print the tables and exit: 0 when\n"
           "                   every host answered, 1 otherwise (takes no instance lock)\n"
           "  --timeout SECS   how long --once waits for the answers (default 10)\n"
           "  --metrics ADDR:PORT  serve Prometheus metrics at http://ADDR:PORT/metrics\n"
           "                   (a bare PORT binds 127.0.0.1)\n"
           "  --instance NAME  name of the single-instance lock (default: TarvoMonitor)\n"
           "  --version        print the version and exit\n"
           "  --help           print this text and exit\n";
}

} // namespace tarvo
