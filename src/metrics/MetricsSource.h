// What the metrics exporter reads of the console: the two tables, the hosts, and the counts of
// each host's link. The console implements these; the exporter knows nothing else of it.
#pragma once

#include <cstdint>
#include <string>

namespace tarvo {

class HostSubjectPool;
class RecordSet;

// The tables and the hosts, read on the GUI thread at every update.
class MetricsSource
{
public:
    virtual ~MetricsSource() = default;
    virtual const RecordSet &hostTable() const = 0;
    virtual const RecordSet &pbuTable() const = 0;
    virtual const HostSubjectPool &hostPool() const = 0;
};

struct HostLinkCounts
{
    uint64_t lostConnections = 0;  // open connections that closed, by either side
    uint64_t reconnects = 0;       // connections opened by an automatic reconnect
};

// The lost connections and automatic reconnects of a host (zero for one never seen).
class LinkCounts
{
public:
    virtual ~LinkCounts() = default;
    virtual HostLinkCounts linkCounts(const std::string &channelIP) const = 0;
};

} // namespace tarvo
