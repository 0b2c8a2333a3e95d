// Execution of the status and troubleshooting requests on the agent, and their installation.
#pragma once

#include "protocol/MessageBodies.h"

#include <chrono>
#include <memory>

namespace tarvo {

class AgentConfig;
class HostControl;
class SystemStatus;

// Installs the executors of StatusRequestMessageBody and TroubleShootingRequestMessageBody
// into the protocol; call once at start, before requests are executed. The status executor
// uses AgentConfig::instance() and one process-wide SystemStatus; the troubleshooting
// executor a fresh TroubleShooting per request. Load failures of the configuration
// propagate out of execute(); an unknown ShootingType makes execute() return nothing.
void installAgentExecutors();

// The status response: host state, clock, CPU/memory/disk usage, envNo and both packages
// after a refresh of the programs (a failed refresh is retried once after `retryDelay`).
std::unique_ptr<StatusResponseMessageBody>
executeStatusRequest(AgentConfig &config, SystemStatus &system, const HostControl &clock,
                     std::chrono::milliseconds retryDelay = std::chrono::milliseconds(500));

} // namespace tarvo
