// The status and troubleshooting request executors and their installation.
#include "agent/AgentExecutors.h"

#include "agent/AgentConfig.h"
#include "agent/AgentLog.h"
#include "agent/HostControl.h"
#include "agent/SystemStatus.h"
#include "agent/TroubleShooting.h"

#include <exception>
#include <thread>

namespace tarvo {

std::unique_ptr<StatusResponseMessageBody>
executeStatusRequest(AgentConfig &config, SystemStatus &system, const HostControl &clock,
                     std::chrono::milliseconds retryDelay)
{
    const std::string hostTime = clock.hostTime();
    const std::string cpuUsage = std::to_string(system.sample());
    const std::string memoryUsage = std::to_string(system.memoryUsage());
    const std::string diskUsage = std::to_string(system.diskUsageOf(config.getBaseDir()));
    try {
        config.refresh();
    } catch (const std::exception &e) {
        AgentLog::warning(std::string("Refreshing the programs failed, retrying: ") + e.what());
        std::this_thread::sleep_for(retryDelay);
        try {
            config.refresh();
        } catch (const std::exception &again) {
            AgentLog::error(std::string("Refreshing the programs failed: ") + again.what());
        }
    }
    return std::make_unique<StatusResponseMessageBody>(
        "正常运行", hostTime, cpuUsage, memoryUsage, diskUsage, config.getEnvNo(),
        config.getOesPackage(), config.getPbuPackage());
}

void installAgentExecutors()
{
    StatusRequestMessageBody::setExecutor(
        [](StatusRequestMessageBody &) -> std::unique_ptr<MessageBody> {
            AgentConfig &config = AgentConfig::instance();
            static SystemStatus system;
            static const HostControl clock;
            return executeStatusRequest(config, system, clock);
        });
    TroubleShootingRequestMessageBody::setExecutor(
        [](TroubleShootingRequestMessageBody &request) -> std::unique_ptr<MessageBody> {
            TroubleShooting shooting;
            return executeTroubleShooting(request, shooting);
        });
}

} // namespace tarvo
