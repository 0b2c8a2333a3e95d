// The three small interfaces through which the display follows the hosts.
#pragma once

namespace tarvo {

class HostSubject;

// Told after a host's data changed (status response applied, host edited).
class HostObserver
{
public:
    virtual void update(HostSubject &host) = 0;
    virtual ~HostObserver() = default;
};

// Told after a host entered the pool.
class HostAdder
{
public:
    virtual void update(HostSubject &host) = 0;
    virtual ~HostAdder() = default;
};

// Told before a host leaves the pool, while it can still be read and found.
class HostRemover
{
public:
    virtual void update(HostSubject &host) = 0;
    virtual ~HostRemover() = default;
};

} // namespace tarvo
