// Status polling, the heartbeat pass and the troubleshooting requests.
#include "app/AgentPoller.h"

#include "app/AppTexts.h"
#include "protocol/Message.h"
#include "protocol/MessageBodies.h"

#include <QTimer>

#include <algorithm>

namespace tarvo {

AgentPoller::AgentPoller(AgentLinksOwner &pollerOwner, AgentLinkModel pollerModel,
                         AgentRegistry &agentRegistry, TMMSocketProcessor::Settings settings,
                         std::function<void()> runBeforePoll)
    : owner(pollerOwner), model(pollerModel), registry(agentRegistry),
      connectionSettings(std::move(settings)), beforePoll(std::move(runBeforePoll))
{
}

void AgentPoller::sendRequest(
    TMMSocketProcessor &connection, std::unique_ptr<MessageBody> body,
    const std::function<std::unique_ptr<MessageCommand>(int32_t)> &waitFor)
{
    try {
        const int32_t sequence = connection.getSentCount();
        Message message(PROTOCOL_VERSION, "C", std::to_string(sequence), std::move(body));
        connection.send(message.encode());
        if (std::unique_ptr<MessageCommand> command = waitFor(sequence))
            model.commandPool.add(std::move(command));
    } catch (const std::exception &e) {
        owner.writeLog("Error[" + std::string(e.what()) + "]", false, false);
    }
}

void AgentPoller::notePoll(const std::string &channelIP, HostSubject &host)
{
    if (host.unansweredPolls >= kStalePolls && !host.stale) {
        host.stale = true;
        owner.report("Error[报盘机[Ip:" + channelIP + "]连续" + std::to_string(kStalePolls) +
                     "次轮询未应答]");
    }
    ++host.unansweredPolls;
}

void AgentPoller::sendStatusRequest()
{
    TMMSocketProcessor *connection = nullptr;
    if (!registry.currentConnection(connection))
        return;
    const std::string ip = model.hostTable.value(kHostKeyField);
    HostSubject *host = model.hostPool.find(ip);
    if (host)
        notePoll(ip, *host);
    sendRequest(*connection, std::make_unique<StatusRequestMessageBody>(),
                [&](int32_t sequence) -> std::unique_ptr<MessageCommand> {
                    if (!host)
                        return nullptr;
                    // An agent that stays connected but never answers would make the waiting
                    // commands grow all day: only the latest ones are kept.
                    if (sequence >= kMostWaitingAnswers)
                        model.commandPool.purge(ip, sequence - kMostWaitingAnswers + 1);
                    return std::make_unique<StatusMessageCommand>(sequence, ip, host);
                });
}

void AgentPoller::pollHostStatus()
{
    if (beforePoll)
        beforePoll();
    pollQueue.clear();
    for (const auto &[ip, host] : model.hostPool)
        pollQueue.push_back(ip);
    pollNext = 0;
    pollSlice();
}

void AgentPoller::pollSlice()
{
    {
        HostGridWalk walk(model);
        RecordSet &hosts = model.hostTable;
        const size_t end = std::min(pollQueue.size(), pollNext + kPollSlice);
        for (; pollNext < end; ++pollNext) {
            if (hosts.locate(kHostKeyField, pollQueue[pollNext]))
                sendStatusRequest();
        }
    }
    if (pollNext >= pollQueue.size() || pollQueued)
        return;
    if (!pollContext)
        pollContext = std::make_unique<QObject>();
    pollQueued = true;
    QTimer::singleShot(0, pollContext.get(), [this] {
        pollQueued = false;
        try {
            pollSlice();
        } catch (const std::exception &e) {
            owner.writeLog("Error[" + std::string(e.what()) + "]", false, false);
        }
    });
}

void AgentPoller::runTroubleshootingStep(const std::string &channelIP, const std::string &stepName)
{
    HostGridWalk walk(model);
    RecordSet &hosts = model.hostTable;
    if (!hosts.locate(kHostKeyField, channelIP))
        return;
    HostSubject *host = model.hostPool.find(channelIP);
    if (!host)
        return;
    const std::string connection = hosts.value("Connection");
    if (stepName == "AgentStatus") {
        if (connection == kConnected) {
            host->setTroubleShootingText({});
            return;
        }
        registry.ensureConnecting(channelIP, host->getPort(), AgentRegistry::AfterFailure::Retry);
        host->setTroubleShootingText("正在尝试连接探针...");
        return;
    }
    if (stepName == "AgentStatus1") {
        if (connection == kNotConnected || connection == kDisconnected) {
            host->setTroubleShootingText("探针没有启动或端口设置错误(当前监视界面端口设置为" +
                                         host->getPort() + "，探针端的默认端口为10012)");
            host->troubleShootingPending = false;
        } else if (connection == kConnected) {
            host->setTroubleShootingText({});
            host->troubleShootingPending = false;
        }
        return;
    }
    TMMSocketProcessor *open = nullptr;
    if (!registry.currentConnection(open))
        return;  // nothing is sent: the window reports the step as timed out
    sendRequest(*open,
                std::make_unique<TroubleShootingRequestMessageBody>("TroubleShooting", stepName),
                [&](int32_t sequence) {
                    return std::make_unique<TroubleShootingCommand>(sequence, channelIP, host);
                });
}

void AgentPoller::sendHeartbeats()
{
    try {
        for (const auto &[ip, connection] : registry.entries()) {
            if (!connection || !connection->isOpen())
                continue;
            if (linkNowMs(connectionSettings) - connection->getLastSendTime() <= kHeartbeatQuietMs)
                continue;
            if (!connection->send(heartbeatText)) {
                owner.writeLog("Beat message sent to " + connection->getChannelIP() + "failed",
                               false, false);
                return;
            }
            owner.writeLog("Beat message sent to " + connection->getChannelIP(), false, false);
        }
    } catch (...) {
        // A failed pass ends silently; the next one comes a second later.
    }
}

} // namespace tarvo
