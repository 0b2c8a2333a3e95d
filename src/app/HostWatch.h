// An observer attached to every host of a pool, those added later too.
#pragma once

#include "host/HostObservers.h"
#include "host/HostSubject.h"
#include "host/HostSubjectPool.h"

namespace tarvo {

// Attaches `observer` to the pool's hosts now and to each host that enters it. Observers stay
// attached for their subjects' lifetime: both must outlive the pool's hosts.
class HostWatch : private HostAdder
{
public:
    HostWatch(HostSubjectPool &pool, HostObserver &observer) : observer(observer)
    {
        for (const auto &[ip, host] : pool)
            host->attach(&observer);
        pool.addAdder(this);
    }
    HostWatch(const HostWatch &) = delete;
    HostWatch &operator=(const HostWatch &) = delete;

private:
    void update(HostSubject &host) override { host.attach(&observer); }

    HostObserver &observer;
};

} // namespace tarvo
