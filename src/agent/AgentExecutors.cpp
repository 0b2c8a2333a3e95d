// The status and troubleshooting request executors and their installation.
#include "agent/AgentExecutors.h"

#include "agent/AgentConfig.h"
#include "agent/AgentLog.h"
#include "agent/HostControl.h"
#include "agent/OesStatusFile.h"
#include "agent/StatusAnswerFit.h"
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
    StatusAnswerFields fields{"正常运行", hostTime, cpuUsage, memoryUsage, diskUsage,
                              OesStatusFile::cleanValue(config.getEnvNo()), {}, {}};
    for (const auto &communicator : config.getCommunicators()) {
        fields.programs.push_back(static_cast<const Oes &>(*communicator));
        for (const auto &pbu : communicator->getPbus())
            fields.pbus.push_back(*pbu);
    }
    FittedStatusAnswer fitted = fitStatusAnswer(fields);
    // Said once when it starts, again when it changes, and when it ends.
    static std::string lastNote;
    const std::string note = fitted.note();
    if (note != lastNote) {
        if (!note.empty())
            AgentLog::warning("status answer longer than " + std::to_string(MAX_ANSWER_BYTES) +
                              " bytes: " + note);
        else
            AgentLog::info("status answer within " + std::to_string(MAX_ANSWER_BYTES) +
                           " bytes again");
        lastNote = note;
    }
    return std::make_unique<StatusResponseMessageBody>(
        fields.hostStatus, hostTime, cpuUsage, memoryUsage, diskUsage, fields.envNo,
        std::move(fitted.oesPackage), std::move(fitted.pbuPackage));
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
