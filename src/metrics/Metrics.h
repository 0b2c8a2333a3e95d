// The console's Prometheus exporter: host, program and PBU state of the tables as metrics
// at http://ADDR:PORT/metrics, for the existing dashboards.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace tarvo {

class ConsoleTimings;
class HostSubjectPool;
class LinkCounts;
class MetricsSource;
class RecordSet;

// The address a listen text names, checked: "9464" (loopback), "127.0.0.1:9464",
// "0.0.0.0:9464", "localhost:9464", "[::1]:9464". Port 0 lets the system choose.
struct MetricsListen
{
    std::string address;  // as the server wants it ("[::1]" keeps its brackets)
    unsigned port = 0;
};
// Throws std::invalid_argument naming the text and what is wrong with it.
MetricsListen parseMetricsListen(std::string_view listen);

// What tarvo_build_info tells: the console's version and its software version (GBK).
struct MetricsBuild
{
    std::string version;
    std::string software;
};

// Serves the Prometheus text format at http://ADDR:PORT/metrics ("/" links to it). The server
// answers from its own threads; it only reads metric objects, which lock themselves, and
// every series is added, set and removed by update(), so nothing else of the console is
// shared with it. A host that is not connected keeps its series (up 0, the rest at their
// last values, its PBUs' too) until it leaves the host list; states are codes in the value.
class MetricsExporter
{
public:
    // "127.0.0.1:9464", "9464" (loopback), "0.0.0.0:9464"; throws std::invalid_argument for a
    // bad text, std::runtime_error when the port cannot be bound. The console's timings (not
    // owned, they must outlive the exporter; null: none) are served beside the tables'.
    explicit MetricsExporter(const std::string &listen, const MetricsBuild &build = {},
                             const ConsoleTimings *timings = nullptr);
    ~MetricsExporter();
    MetricsExporter(const MetricsExporter &) = delete;
    MetricsExporter &operator=(const MetricsExporter &) = delete;

    // Where the lost connections, reconnects and answer times come from (not owned; null:
    // none of those series).
    void setLinkStats(const LinkCounts *stats);

    // Rebuilds every value from the console's tables and hosts; call on the GUI thread after
    // each poll. Series of rows that are gone are removed.
    void update(const MetricsSource &console);
    void update(const RecordSet &hosts, const RecordSet &pbus, const HostSubjectPool &pool);

    // The same update in steps of at most `rows` rows, so that the GUI thread is never held
    // long: beginUpdate(), then updateStep() in later passes of the event loop until it
    // returns true. A table whose row count changed between two steps makes the update
    // start again; series of rows that are gone leave when an update is complete.
    void beginUpdate();
    bool updateStep(const MetricsSource &console, int rows);
    bool updateStep(const RecordSet &hosts, const RecordSet &pbus, const HostSubjectPool &pool,
                    int rows);

    // The bound "addr:port" (with port 0, the one the system chose).
    std::string listenAddress() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};

} // namespace tarvo
