// Counting the hosts that answered or failed.
#include "app/PollOnce.h"

#include "app/Fmain.h"

namespace tarvo {

PollOnce::PollOnce(TF_Main &mainWindow, int deadlineMs) : window(mainWindow)
{
    for (const auto &[ip, host] : window.hostPool())
        host->attach(this);
    window.agentLinks().registry().addListener(this);
    deadline.setSingleShot(true);
    connect(&deadline, &QTimer::timeout, this, [this] { finish(); });
    deadline.start(deadlineMs);
    failureWatch.setInterval(50);
    connect(&failureWatch, &QTimer::timeout, this, [this] { checkFailures(); });
    failureWatch.start();
    if (window.hostPool().size() == 0)
        QTimer::singleShot(0, this, [this] { finish(); });
}

PollOnce::~PollOnce() { window.agentLinks().registry().removeListener(this); }

void PollOnce::finish()
{
    if (done)
        return;
    done = true;
    failureWatch.stop();
    emit finished();
}

void PollOnce::finishWhenSettled()
{
    if (done || answeredHosts.size() + failedHosts.size() < window.hostPool().size())
        return;
    failureWatch.stop();
    // After the grids have followed the last answer too.
    QTimer::singleShot(0, this, [this] { finish(); });
}

void PollOnce::update(HostSubject &host)
{
    // A host is told of its answers only; "未知" and "停止" are the console's own states.
    const std::string &state = host.getHostStatus();
    if (done || state == "未知" || state == "停止")
        return;
    failedHosts.erase(host.getChannelIP());
    answeredHosts.insert(host.getChannelIP());
    finishWhenSettled();
}

void PollOnce::linkLost(const std::string &channelIP)
{
    if (!answeredHosts.count(channelIP))
        failedHosts.insert(channelIP);
    finishWhenSettled();
}

void PollOnce::checkFailures()
{
    const auto &registry = window.agentLinks().registry().entries();
    for (const auto &[ip, host] : window.hostPool()) {
        if (answeredHosts.count(ip))
            continue;
        const auto entry = registry.find(ip);
        const TMMSocketProcessor *connection = entry == registry.end() ? nullptr : entry->second;
        // No connection was made (a port that is no number), it failed, or its socket
        // reported an error (refused, unreachable) and it is not open.
        if (!connection || connection->isFailed() ||
            (connection->getLastError() != 0 && !connection->isOpen()))
            failedHosts.insert(ip);
    }
    finishWhenSettled();
}

} // namespace tarvo
