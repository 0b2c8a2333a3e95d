// Parsing TarvoMonitor's command line.
#include "app/ProgramOptions.h"

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
           "  --headless       run without a window; print the error list and the host\n"
           "                   table to the terminal (stop with Ctrl+C)\n"
           "  --instance NAME  name of the single-instance lock (default: TarvoMonitor)\n"
           "  --version        print the version and exit\n"
           "  --help           print this text and exit\n";
}

} // namespace tarvo
