// The command line of TarvoMonitorAgent.
#pragma once

#include "agent/service/ServiceTimings.h"

#include <optional>
#include <string>
#include <vector>

namespace tarvo {

// What to do with the agent's registration at the system's service manager (Windows); Run:
// this process was started by the service manager.
enum class ServiceCommand { None, Install, Remove, Start, Stop, Run };

struct ServiceOptions
{
    ServiceCommand serviceCommand = ServiceCommand::None;
    bool help = false;
    bool version = false;
    bool checkConfig = false;
    bool verbose = false;
    std::string dir;             // installation directory to change to; empty: stay
    std::string ini;             // agent ini file; empty: the executable's path with ".ini"
    std::string bind;            // listening address; empty: every address
    std::optional<int> port;     // overrides the ini's port (0: any free port)
    ServiceTimings timings;
};

// Parses the arguments after the program name. Returns the error text for an unknown
// option, a missing value or a number out of range; empty on success. The service options
// exist only where the system has a service manager the agent registers with (Windows).
std::string parseServiceOptions(const std::vector<std::string> &args, ServiceOptions &options);

// The --help text.
std::string serviceUsage();

} // namespace tarvo
