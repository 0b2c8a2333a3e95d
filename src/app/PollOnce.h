// `TarvoMonitor --once`: waits until every host of the list has answered one status request
// (or a deadline passes), for scripts and cron jobs.
#pragma once

#include "host/HostObservers.h"

#include <QObject>
#include <QTimer>

#include <set>
#include <string>

namespace tarvo {

class TF_Main;

class PollOnce : public QObject, private HostObserver
{
    Q_OBJECT
public:
    // Watches every host of the window's pool from now on.
    PollOnce(TF_Main &window, int deadlineMs);

    bool everyHostAnswered() const;
    size_t answered() const { return answeredHosts.size(); }

signals:
    // Every host answered, or the deadline passed.
    void finished();

private:
    void update(HostSubject &host) override;

    TF_Main &window;
    std::set<std::string> answeredHosts;
    QTimer deadline;
    bool done = false;
};

} // namespace tarvo
