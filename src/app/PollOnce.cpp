// Counting the hosts that answered.
#include "app/PollOnce.h"

#include "app/Fmain.h"

namespace tarvo {

PollOnce::PollOnce(TF_Main &mainWindow, int deadlineMs) : window(mainWindow)
{
    for (const auto &[ip, host] : window.hostPool())
        host->attach(this);
    deadline.setSingleShot(true);
    connect(&deadline, &QTimer::timeout, this, [this] {
        if (!done) {
            done = true;
            emit finished();
        }
    });
    deadline.start(deadlineMs);
    if (window.hostPool().size() == 0)
        QTimer::singleShot(0, this, [this] {
            done = true;
            emit finished();
        });
}

bool PollOnce::everyHostAnswered() const
{
    return window.hostPool().size() > 0 && answeredHosts.size() == window.hostPool().size();
}

void PollOnce::update(HostSubject &host)
{
    // A host is told of its answers only; "未知" and "停止" are the console's own states.
    const std::string &state = host.getHostStatus();
    if (done || state == "未知" || state == "停止")
        return;
    answeredHosts.insert(host.getChannelIP());
    if (everyHostAnswered()) {
        done = true;
        // After the grids have followed this answer too.
        QTimer::singleShot(0, this, [this] { emit finished(); });
    }
}

} // namespace tarvo
