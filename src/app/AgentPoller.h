// What the console sends its agents unasked: the status requests of a poll, the heartbeat
// pass, and the requests of a host's troubleshooting run.
#pragma once

#include "app/AgentLinkModel.h"
#include "app/AgentRegistry.h"

#include <QObject>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tarvo {

class MessageBody;
class MessageCommand;

class AgentPoller
{
public:
    // Status requests a connected host may leave unanswered in a row before it is reported.
    static constexpr int32_t kStalePolls = 3;
    static constexpr double kHeartbeatQuietMs = 5000;
    // Answers a host may owe at once; older requests are given up (about 5 minutes of polls).
    static constexpr int32_t kMostWaitingAnswers = 64;
    // Hosts a pass of the event loop sends status requests to: a poll of more goes on in the
    // passes that follow, so that thousands of hosts do not hold the loop in one.
    static constexpr size_t kPollSlice = 250;

    // `beforePoll` runs first in every poll (the log lines that are due).
    AgentPoller(AgentLinksOwner &owner, AgentLinkModel model, AgentRegistry &registry,
                TMMSocketProcessor::Settings connectionSettings, std::function<void()> beforePoll);

    void setHeartbeatText(std::string text) { heartbeatText = std::move(text); }

    // A status request to the host of the current host row, when its connection is open.
    void sendStatusRequest();
    // A status request to every host (beyond kPollSlice hosts, in later passes of the loop;
    // a new poll takes over the hosts an unfinished one has not reached).
    void pollHostStatus();
    // One heartbeat pass over the registry.
    void sendHeartbeats();
    // One step of a host's troubleshooting run: "AgentStatus" (make sure the agent is being
    // connected), "AgentStatus1" (the connection's state), or a request step ("AgentVersion",
    // "CheckCfgFile", "CheckCS") sent on the open connection. Results land in the host's
    // troubleShootingText and troubleShootingPending, at once or when the answer comes.
    void runTroubleshootingStep(const std::string &channelIP, const std::string &stepName);

private:
    // Sends `body` under the connection's next sequence number and stores the command that
    // `waitFor` makes for that number (none: nothing waits) in the command pool. A failure is
    // logged and ends the request.
    void sendRequest(TMMSocketProcessor &connection, std::unique_ptr<MessageBody> body,
                     const std::function<std::unique_ptr<MessageCommand>(int32_t)> &waitFor);
    // Liveness: a poll of a connected host.
    void notePoll(const std::string &channelIP, HostSubject &host);
    // The next kPollSlice hosts of the poll; queues the rest for the next pass.
    void pollSlice();

    AgentLinksOwner &owner;
    AgentLinkModel model;
    AgentRegistry &registry;
    TMMSocketProcessor::Settings connectionSettings;
    std::function<void()> beforePoll;
    std::string heartbeatText;
    std::vector<std::string> pollQueue;  // the hosts of the running poll, in pool order
    size_t pollNext = 0;
    bool pollQueued = false;
    std::unique_ptr<QObject> pollContext;  // owns the queued pass, which dies with the poller
};

} // namespace tarvo
