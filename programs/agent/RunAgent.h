// The agent's run, from loading its configuration to its clean stop; the same in a console,
// under systemd and as a Windows service.
#pragma once

#include "agent/service/ServiceOptions.h"
#include "platform/StopRequests.h"

#include <functional>

namespace tarvo {

// Serves the console until `requests` asks for the stop. Calls `listening` once the agent
// listens. Returns the process's exit code: 0 after a clean stop, 1 when it cannot start.
// The current directory is the installation's and AgentConfig's ini path is set.
int runAgent(const ServiceOptions &options, StopRequests &requests,
             const std::function<void()> &listening);

} // namespace tarvo
