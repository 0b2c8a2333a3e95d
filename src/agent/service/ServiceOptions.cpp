// Parsing of TarvoMonitorAgent's command line.
#include "agent/service/ServiceOptions.h"

#include "platform/SystemService.h"
#include "protocol/Convert.h"

namespace tarvo {
namespace {

std::optional<long> positive(const std::string &text, long low, long high)
{
    std::optional<int32_t> value = tryToInt(text);
    if (!value || *value < low || *value > high)
        return std::nullopt;
    return *value;
}

// The options that manage the agent's registration as a service, where there are any.
std::string serviceManagerUsage()
{
    if (!systemServicesAvailable())
        return {};
    return "\n"
           "The agent as a Windows service (run these as Administrator):\n"
           "  --install-service register the service TarvoMonitorAgent, started with the\n"
           "                    system, in --dir DIR (default: the executable's folder) with\n"
           "                    --ini FILE (default: the executable's path with .ini); --bind\n"
           "                    and --port are kept for the service too\n"
           "  --start-service   start the service and wait until it listens\n"
           "  --stop-service    stop the service and wait until it has stopped\n"
           "  --remove-service  stop the service and remove its registration\n";
}

bool parseServiceCommand(const std::string &arg, ServiceCommand &command)
{
    if (!systemServicesAvailable())
        return false;
    static const std::pair<const char *, ServiceCommand> commands[] = {
        {"--install-service", ServiceCommand::Install},
        {"--remove-service", ServiceCommand::Remove},
        {"--start-service", ServiceCommand::Start},
        {"--stop-service", ServiceCommand::Stop},
        // Hidden: the command line the service manager starts the agent with.
        {"--service", ServiceCommand::Run}};
    for (const auto &[name, value] : commands) {
        if (arg == name) {
            command = value;
            return true;
        }
    }
    return false;
}

} // namespace

std::string serviceUsage()
{
    return std::string("Usage: TarvoMonitorAgent [OPTIONS]\n"
           "The monitoring agent of an order-submission host: answers the console's status and\n"
           "troubleshooting requests on the agent port, sends heartbeats and log messages.\n"
           "\n"
           "Options:\n"
           "  --dir DIR         installation directory (default: the current directory)\n"
           "  --ini FILE        agent ini file (default: the executable's path with .ini;\n"
           "                    installed in /usr/sbin: /etc/tarvo/TarvoMonitorAgent.ini)\n"
           "  --bind ADDR       listening address (default: every address)\n"
           "  --port N          listening port, overriding [PORT] port of the ini file\n"
           "  --check-config    load the configuration, print what was found and every\n"
           "                    problem and warning; exit 0 when it can be used, else 1\n"
           "                    (also when the ini file named or installed is missing)\n"
           "  --verbose         also write the log to stderr\n"
           "  --version         print the agent's version\n"
           "  --help            this text\n") + serviceManagerUsage();
}

std::string parseServiceOptions(const std::vector<std::string> &args, ServiceOptions &options)
{
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        auto value = [&](std::string &out) -> bool {
            if (i + 1 >= args.size())
                return false;
            out = args[++i];
            return true;
        };
        auto milliseconds = [&](std::chrono::milliseconds &out) -> std::string {
            std::string text;
            if (!value(text))
                return arg + " needs a value";
            std::optional<long> ms = positive(text, 1, 24L * 3600 * 1000);
            if (!ms)
                return arg + " needs a number of milliseconds, not '" + text + "'";
            out = std::chrono::milliseconds(*ms);
            return {};
        };
        std::string text;
        if (parseServiceCommand(arg, options.serviceCommand)) {
            // The last service option given counts.
        } else if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == "--check-config") {
            options.checkConfig = true;
        } else if (arg == "--verbose" || arg == "-v") {
            options.verbose = true;
        } else if (arg == "--dir" || arg == "--ini" || arg == "--bind") {
            std::string &target = arg == "--dir" ? options.dir
                                  : arg == "--ini" ? options.ini
                                                   : options.bind;
            if (!value(target) || target.empty())
                return arg + " needs a value";
        } else if (arg == "--port") {
            if (!value(text))
                return "--port needs a value";
            std::optional<long> port = positive(text, 0, 65535);
            if (!port)
                return "--port needs a number from 0 to 65535, not '" + text + "'";
            options.port = int(*port);
        // Hidden: the time rules and client limits, so tests need not wait for them.
        } else if (arg == "--heartbeat-ms") {
            if (std::string e = milliseconds(options.timings.heartbeat); !e.empty())
                return e;
        } else if (arg == "--incomplete-timeout-ms") {
            if (std::string e = milliseconds(options.timings.incompleteTimeout); !e.empty())
                return e;
        } else if (arg == "--watch-ms") {
            if (std::string e = milliseconds(options.timings.watch); !e.empty())
                return e;
        } else if (arg == "--send-timeout-ms") {
            if (std::string e = milliseconds(options.timings.sendTimeout); !e.empty())
                return e;
        } else if (arg == "--idle-timeout-ms") {
            if (std::string e = milliseconds(options.timings.idleTimeout); !e.empty())
                return e;
        } else if (arg == "--refusal-log-interval-ms") {
            if (std::string e = milliseconds(options.timings.refusalLogInterval); !e.empty())
                return e;
        } else if (arg == "--displace-quiet-ms") {
            if (std::string e = milliseconds(options.timings.displaceQuietAfter); !e.empty())
                return e;
        } else if (arg == "--requests-per-second" || arg == "--request-burst" ||
                   arg == "--total-requests-per-second") {
            ServiceTimings &t = options.timings;
            unsigned &target = arg == "--requests-per-second" ? t.requestsPerSecond
                               : arg == "--request-burst"     ? t.requestBurst
                                                              : t.totalRequestsPerSecond;
            std::optional<long> count = value(text) ? positive(text, 1, 1000000) : std::nullopt;
            if (!count)
                return arg + " needs a number from 1 to 1000000, not '" + text + "'";
            target = unsigned(*count);
        } else if (arg == "--max-queued-bytes" || arg == "--max-clients" ||
                   arg == "--max-clients-per-address") {
            size_t &target = arg == "--max-queued-bytes" ? options.timings.maxQueuedBytes
                             : arg == "--max-clients"    ? options.timings.maxClients
                                                         : options.timings.maxClientsPerAddress;
            std::optional<long> count = value(text) ? positive(text, 1, 1L << 30) : std::nullopt;
            if (!count)
                return arg + " needs a positive number, not '" + text + "'";
            target = size_t(*count);
        } else {
            return "unknown option " + arg + " (see --help)";
        }
    }
    return {};
}

} // namespace tarvo
