// `TarvoMonitor --once`: waits until every host of the list has either answered one status
// request or failed (its connection refused, closed or given up), or a deadline passes; for
// scripts, cron jobs and check plugins.
#pragma once

#include "app/AgentLinks.h"
#include "host/HostObservers.h"

#include <QObject>
#include <QTimer>

#include <set>
#include <string>

namespace tarvo {

class TF_Main;

class PollOnce : public QObject, private HostObserver, private LinkListener
{
    Q_OBJECT
public:
    // Watches every host of the window's pool from now on.
    PollOnce(TF_Main &window, int deadlineMs);
    ~PollOnce() override;

    size_t answered() const { return answeredHosts.size(); }
    const std::set<std::string> &answeredSet() const { return answeredHosts; }

    // Looks for hosts whose connection failed; runs every 50 ms on its own timer.
    void checkFailures();

signals:
    // Every host answered or failed, or the deadline passed.
    void finished();

private:
    void update(HostSubject &host) override;
    void linkLost(const std::string &channelIP) override;
    void finishWhenSettled();
    void finish();

    TF_Main &window;
    std::set<std::string> answeredHosts;
    std::set<std::string> failedHosts;
    QTimer deadline;
    QTimer failureWatch;
    bool done = false;
};

} // namespace tarvo
