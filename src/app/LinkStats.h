// What the metrics tell of each host's link beyond the tables: lost connections, automatic
// reconnects and the time of the last status answer.
#pragma once

#include "app/AgentLinks.h"
#include "app/HostWatch.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>

namespace tarvo {

class HostSubjectPool;

struct HostLinkStats
{
    uint64_t lostConnections = 0;  // open connections that closed, by either side
    uint64_t reconnects = 0;       // connections opened by an automatic reconnect
    double lastAnswerMs = 0;       // wall-clock ms of the last status answer; 0: none yet
};

// Follows every host of the pool (those added later too) and the links' events. GUI thread.
class LinkStats : public LinkListener
{
public:
    // `nowMs`: wall-clock milliseconds (null: the system's clock).
    LinkStats(HostSubjectPool &pool, AgentLinks &links, std::function<double()> nowMs = {});
    ~LinkStats() override;
    LinkStats(const LinkStats &) = delete;
    LinkStats &operator=(const LinkStats &) = delete;

    const std::map<std::string, HostLinkStats, std::less<>> &hosts() const { return byHost; }
    void countReconnect(const std::string &channelIP) { ++byHost[channelIP].reconnects; }

    void linkLost(const std::string &channelIP) override { ++byHost[channelIP].lostConnections; }

private:
    class Answers;
    double now() const;

    std::function<double()> nowMs;
    std::map<std::string, HostLinkStats, std::less<>> byHost;
    std::unique_ptr<Answers> answers;
    std::unique_ptr<HostWatch> watch;
};

} // namespace tarvo
