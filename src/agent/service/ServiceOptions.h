// The command line of TarvoMonitorAgent.
#pragma once

#include "agent/service/ServiceTimings.h"

#include <optional>
#include <string>
#include <vector>

namespace tarvo {

struct ServiceOptions
{
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
// option, a missing value or a number out of range; empty on success.
std::string parseServiceOptions(const std::vector<std::string> &args, ServiceOptions &options);

// The --help text.
std::string serviceUsage();

} // namespace tarvo
