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

class LinkStats::Adder : public HostAdder
{
public:
    explicit Adder(Answers &answers) : answers(answers) {}
    void update(HostSubject &host) override { host.attach(&answers); }

private:
    Answers &answers;
};

LinkStats::LinkStats(HostSubjectPool &pool, AgentLinks &links, std::function<double()> clock)
    : nowMs(std::move(clock)), answers(std::make_unique<Answers>(*this)),
      adder(std::make_unique<Adder>(*answers))
{
    for (const auto &[ip, host] : pool)
        host->attach(answers.get());
    pool.addAdder(adder.get());
    links.addListener(this);
}

// The pool and the links live as long as the window, which outlives this object only in
// tests that drop it last; observers stay attached for the subjects' lifetime, so the
// answers observer must outlive the hosts: it is kept by the caller's order of destruction.
LinkStats::~LinkStats() = default;

double LinkStats::now() const { return nowMs ? nowMs() : wallClockMs(); }

} // namespace tarvo
