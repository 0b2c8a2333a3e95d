// Counting lost connections and noting answers, per host.
#include "app/LinkStats.h"

#include "host/HostSubject.h"
#include "host/HostSubjectPool.h"

namespace tarvo {

// A host is told of its answers and of the console's own states "未知" and "停止".
class LinkStats::Answers : public HostObserver
{
public:
    explicit Answers(LinkStats &stats) : stats(stats) {}
    void update(HostSubject &host) override
    {
        const std::string &state = host.getHostStatus();
        if (state != "未知" && state != "停止")
            stats.byHost[host.getChannelIP()].lastAnswerMs = stats.now();
    }

private:
    LinkStats &stats;
};

LinkStats::LinkStats(HostSubjectPool &pool, AgentLinks &links, std::function<double()> clock)
    : nowMs(std::move(clock)), answers(std::make_unique<Answers>(*this)),
      watch(std::make_unique<HostWatch>(pool, *answers))
{
    links.addListener(this);
}

// The answers observer stays attached to the hosts: the caller keeps this object until the
// hosts have gone or no longer change (the end of the program).
LinkStats::~LinkStats() = default;

double LinkStats::now() const { return nowMs ? nowMs() : wallClockMs(); }

} // namespace tarvo
