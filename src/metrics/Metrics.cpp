// The Prometheus exporter: the series of every family as of the last update, hosts that are
// not connected kept with up 0, and the counters that follow the agents' counts across
// program restarts.
#include "metrics/Metrics.h"

#include "metrics/ConsoleTimings.h"
#include "metrics/MetricsSeries.h"
#include "metrics/MetricsServer.h"
#include "metrics/MetricsSource.h"
#include "framework/RecordSet.h"
#include "host/HostSubjectPool.h"
#include "host/StatusNames.h"
#include "protocol/Convert.h"
#include "protocol/Message.h"
#include "platform/Gbk.h"

#include <prometheus/counter.h>
#include <prometheus/gauge.h>
#include <prometheus/registry.h>  // the timings' registry is served as a collectable

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <unordered_set>

namespace tarvo {

namespace {

using prometheus::Labels;
using metrics::RowIndex;
using metrics::SeriesFamilies;
using metrics::SeriesSet;

const std::string kConnected = "已连接";
// The programs by slot, as the agents name them: the program label of program and PBU series.
const std::string kProgramNames[2] = {"A股报盘程序", "B股报盘程序"};
// The environment of a host that has not answered yet.
const std::string kNoEnvironment = "unknown";

// A finite number that is the whole text (blanks around it and, for usages, a trailing '%'
// allowed); the agents send integers, but a decimal point does no harm.
std::optional<double> numberOf(std::string_view text, bool percent)
{
    text = trimBlanks(text);
    if (percent && !text.empty() && text.back() == '%')
        text = trimBlanks(text.substr(0, text.size() - 1));
    if (text.empty())
        return std::nullopt;
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

// The index of a state word in statusNames, -1 for any other text.
double stateIndex(const std::string &word)
{
    const auto found = std::find(statusNames.begin(), statusNames.end(), word);
    return found == statusNames.end() ? -1 : double(found - statusNames.begin());
}

} // namespace

struct MetricsExporter::Impl
{
    using Gauges = SeriesSet<prometheus::Gauge>;
    using Counters = SeriesSet<prometheus::Counter>;

    explicit Impl(const MetricsBuild &build)
        : families(std::make_shared<SeriesFamilies>()),
          buildInfo(gauge("tarvo_build_info",
                          "The console's version, software version and protocol; always 1")),
          up(gauge("tarvo_host_up",
                   "1 while the console is connected to the host's agent, else 0")),
          stale(gauge("tarvo_host_stale",
                      "1 while the host is connected but has left its last 3 status requests "
                      "unanswered, else 0")),
          cpu(gauge("tarvo_host_cpu_usage_percent", "CPU usage the agent reported")),
          memory(gauge("tarvo_host_memory_usage_percent",
                       "Memory usage the agent reported")),
          disk(gauge("tarvo_host_disk_usage_percent", "Disk usage the agent reported")),
          lastAnswer(gauge("tarvo_host_last_answer_timestamp_seconds",
                           "When the host last answered a status request (Unix time)")),
          lost(counter("tarvo_host_connections_lost_total",
                       "Open connections to the host's agent that closed")),
          reconnects(counter("tarvo_host_reconnects_total",
                             "Connections opened again by the automatic reconnect")),
          programState(gauge("tarvo_program_state",
                             "State code of an order-submission program: 0 unknown, 1 stopped, "
                             "2 initialising, 3 running, 4 logging out, 5 logging in, -1 other")),
          activePbus(gauge("tarvo_host_active_pbus", "PBUs of the host that run")),
          sleepingPbus(gauge("tarvo_host_sleeping_pbus",
                             "PBUs of the host that are stopped")),
          pbuState(gauge("tarvo_pbu_state",
                         "State code of a PBU (0 to 5 as for programs, -1 other)")),
          orders(counter("tarvo_pbu_orders_total", "Orders the PBU sent")),
          responses(counter("tarvo_pbu_responses_total",
                            "Order responses the PBU received")),
          trades(counter("tarvo_pbu_trades_total", "Trade reports the PBU received"))
    {
        buildInfo.add({{"version", build.version},
                       {"software", gbk::toUtf8(build.software)},
                       {"protocol", PROTOCOL_VERSION}})
            .Set(1);
    }

    void begin()
    {
        for (RowIndex *index : {&hostRows, &programRows, &pbuRows})
            index->begin();
        for (Gauges *set : hostGauges())
            set->begin();
        for (Gauges *set : {&programState, &pbuState})
            set->begin();
        for (Counters *set : allCounters())
            set->begin();
        downHosts.clear();
        pbuSlotsNext.clear();
    }
    void finish();
    std::array<Gauges *, 8> hostGauges()
    {
        return {&up, &stale, &cpu, &memory, &disk, &lastAnswer, &activePbus, &sleepingPbus};
    }
    std::array<Counters *, 5> allCounters() { return {&lost, &reconnects, &orders, &responses, &trades}; }

    // Rows [from, to) of each table.
    void updateHosts(const RecordSet &hosts, const HostSubjectPool &pool, int from, int to);
    void updatePbus(const RecordSet &pbus, const HostSubjectPool &pool, int from, int to);
    const std::string &environmentOf(const std::string &ip, const HostSubject *host);

    // The update in steps: where it stands, and the row counts it started with (a table
    // whose count changed between two steps has moved its rows: the update starts again).
    bool stepping = false;
    int hostsDone = 0, pbusDone = 0;
    int hostCount = 0, pbuCount = 0;
    const LinkCounts *linkStats = nullptr;

    // Declared first, destroyed last: the server (declared last) stops before the metrics go.
    std::shared_ptr<SeriesFamilies> families;
    metrics::SeriesFamily<prometheus::Gauge> &gauge(std::string name, std::string help)
    {
        return families->make<prometheus::Gauge>(std::move(name), std::move(help));
    }
    metrics::SeriesFamily<prometheus::Counter> &counter(std::string name, std::string help)
    {
        return families->make<prometheus::Counter>(std::move(name), std::move(help));
    }
    metrics::SeriesFamily<prometheus::Gauge> &buildInfo;
    Gauges up, stale, cpu, memory, disk, lastAnswer;
    Counters lost, reconnects;
    Gauges programState, activePbus, sleepingPbus, pbuState;
    Counters orders, responses, trades;
    RowIndex hostRows, programRows, pbuRows;
    // The last environment each host reported, so a disconnect does not change its label.
    std::unordered_map<std::string, std::string> environments;
    // Hosts whose PBU rows are gone or not back yet (not connected, or connected and not
    // answered): their PBU series are kept as they were.
    std::unordered_set<std::string> downHosts;
    std::unordered_map<std::string, std::vector<size_t>> pbuSlots, pbuSlotsNext;
    std::mutex updating;  // update() is meant for the GUI thread; this keeps a stray call safe
    std::unique_ptr<metrics::Server> server;
};

const std::string &MetricsExporter::Impl::environmentOf(const std::string &ip,
                                                        const HostSubject *host)
{
    // A host that never answered holds "-1".
    if (host && !host->getEnvNo().empty() && host->getEnvNo() != "-1")
        return environments[ip] = host->getEnvNo();
    const auto known = environments.find(ip);
    return known == environments.end() ? kNoEnvironment : known->second;
}

void MetricsExporter::Impl::updateHosts(const RecordSet &hosts, const HostSubjectPool &pool,
                                        int from, int to)
{
    const int ipField = hosts.requireField("ChannelIP");
    const int nameField = hosts.requireField("hostName");
    const int connectionField = hosts.requireField("Connection");
    const int programFields[2] = {hosts.requireField("OESStatusA"),
                                  hosts.requireField("OESStatusB")};
    const int activeField = hosts.requireField("activePBUs");
    const int sleepingField = hosts.requireField("InactivePBUs");
    const int printedField = hosts.requireField("PbuPrinted");

    std::string key, programKey;
    for (int row = from; row < to; ++row) {
        const std::string &ip = hosts.valueAt(row, ipField);
        const std::string &name = hosts.valueAt(row, nameField);
        const HostSubject *host = pool.find(ip);
        const std::string &environment = environmentOf(ip, host);
        key.assign(ip);
        for (const std::string *part : {&name, &environment}) {
            key += '\x01';
            key += *part;
        }
        const auto labels = [&] {
            return Labels{{"host", gbk::toUtf8(ip)},
                          {"name", gbk::toUtf8(name)},
                          {"environment", gbk::toUtf8(environment)}};
        };
        const size_t slot = hostRows.slotOf(hosts.recIdAt(row), key);
        const bool connected = hosts.valueAt(row, connectionField) == kConnected;
        up.set(slot, labels, connected ? 1 : 0);
        if (!connected || hosts.valueAt(row, printedField).empty())
            downHosts.insert(ip);

        // Connected but silent for three polls: stale (0 for a host that is not connected).
        stale.set(slot, labels, connected && host && host->stale ? 1 : 0);
        if (host && host->lastAnswerMs > 0)
            lastAnswer.set(slot, labels, std::floor(host->lastAnswerMs) / 1000);
        if (linkStats) {
            const HostLinkCounts seen = linkStats->linkCounts(ip);
            lost.follow(slot, labels, double(seen.lostConnections));
            reconnects.follow(slot, labels, double(seen.reconnects));
        }

        // A host that is not connected keeps what it reported last: its series do not vanish
        // (and resolve alerts) when it drops.
        const auto program = [&](int which) {
            programKey.assign(key);
            programKey += which == 0 ? "\x01" "A" : "\x01" "B";
            const size_t programSlot =
                programRows.slotOf(hosts.recIdAt(row) * 2 + which, programKey);
            if (!connected) {
                programState.keep(programSlot);
                return;
            }
            programState.set(programSlot, [&] {
                Labels withProgram = labels();
                withProgram.emplace("program", gbk::toUtf8(kProgramNames[which]));
                return withProgram;
            }, stateIndex(hosts.valueAt(row, programFields[which])));
        };
        program(0);
        program(1);
        const auto value = [&](Gauges &set, const std::optional<double> &number) {
            if (!connected || !number)
                set.keep(slot);
            else
                set.set(slot, labels, *number);
        };
        value(cpu, host ? numberOf(host->getCpuUsage(), true) : std::nullopt);
        value(memory, host ? numberOf(host->getMemoryUsage(), true) : std::nullopt);
        value(disk, host ? numberOf(host->getDiskUsage(), true) : std::nullopt);
        value(activePbus, numberOf(hosts.valueAt(row, activeField), false));
        value(sleepingPbus, numberOf(hosts.valueAt(row, sleepingField), false));
    }
}

void MetricsExporter::Impl::updatePbus(const RecordSet &pbus, const HostSubjectPool &pool,
                                       int from, int to)
{
    const int hostField = pbus.requireField("HostIp");
    const int programField = pbus.requireField("OES");
    const int idField = pbus.requireField("ID");
    const int operatorField = pbus.requireField("Operator");
    const int statusField = pbus.requireField("Status");
    const std::pair<Counters *, int> counts[3] = {
        {&orders, pbus.requireField("Submitted")},
        {&responses, pbus.requireField("Responsed")},
        {&trades, pbus.requireField("CJHB")},
    };

    std::string key;
    const std::string *lastHost = nullptr;
    std::string hostName;
    std::vector<size_t> *hostSlots = nullptr;
    for (int row = from; row < to; ++row) {
        const std::string &hostIp = pbus.valueAt(row, hostField);
        // A host's rows come one after the other: its name and its slots are looked up once
        // for them.
        if (!lastHost || *lastHost != hostIp) {
            const HostSubject *host = pool.find(hostIp);
            hostName = host ? host->getHostName() : std::string();
            lastHost = &hostIp;
            hostSlots = &pbuSlotsNext[hostIp];
        }
        const std::string &program = pbus.valueAt(row, programField);
        const std::string &id = pbus.valueAt(row, idField);
        const std::string &op = pbus.valueAt(row, operatorField);
        key.assign(hostIp);
        const std::string *const parts[] = {&hostName, &program, &id, &op};
        for (const std::string *part : parts) {
            key += '\x01';
            key += *part;
        }
        const auto labels = [&] {
            return Labels{{"host", gbk::toUtf8(hostIp)},
                          {"name", gbk::toUtf8(hostName)},
                          {"program", gbk::toUtf8(program)},
                          {"pbu", gbk::toUtf8(id)},
                          {"operator", gbk::toUtf8(op)}};
        };
        const size_t slot = pbuRows.slotOf(pbus.recIdAt(row), key);
        hostSlots->push_back(slot);
        pbuState.set(slot, labels, stateIndex(pbus.valueAt(row, statusField)));
        for (const auto &[set, field] : counts) {
            // A count that is not a number leaves the series at its last value.
            if (const auto count = numberOf(pbus.valueAt(row, field), false))
                set->follow(slot, labels, *count);
            else
                set->keep(slot);
        }
    }
}

void MetricsExporter::Impl::finish()
{
    // The PBU series of hosts that are down stay as they were, rows or not.
    for (const std::string &ip : downHosts) {
        const auto kept = pbuSlots.find(ip);
        if (kept == pbuSlots.end())
            continue;
        std::vector<size_t> &keptSlots = pbuSlotsNext[ip];
        for (size_t slot : kept->second) {
            if (std::find(keptSlots.begin(), keptSlots.end(), slot) != keptSlots.end())
                continue;
            pbuRows.keepSlot(slot);
            pbuState.keep(slot);
            for (Counters *set : {&orders, &responses, &trades})
                set->keep(slot);
            keptSlots.push_back(slot);
        }
    }
    pbuSlots.swap(pbuSlotsNext);
    for (Gauges *set : hostGauges())
        set->finish();
    for (Gauges *set : {&programState, &pbuState})
        set->finish();
    for (Counters *set : allCounters())
        set->finish();
    for (RowIndex *index : {&hostRows, &programRows, &pbuRows})
        index->finish();
}

MetricsExporter::MetricsExporter(const std::string &listen, const MetricsBuild &build,
                                 const ConsoleTimings *timings)
    : impl(std::make_unique<Impl>(build))
{
    impl->server = std::make_unique<metrics::Server>(listen);
    impl->server->serve(impl->families);
    if (timings)
        impl->server->serve(timings->registry());
}

MetricsExporter::~MetricsExporter()
{
    impl->server.reset();
}

void MetricsExporter::setLinkStats(const LinkCounts *stats)
{
    const std::lock_guard<std::mutex> lock(impl->updating);
    impl->linkStats = stats;
}

void MetricsExporter::update(const MetricsSource &console)
{
    update(console.hostTable(), console.pbuTable(), console.hostPool());
}

void MetricsExporter::update(const RecordSet &hosts, const RecordSet &pbus,
                             const HostSubjectPool &pool)
{
    beginUpdate();
    updateStep(hosts, pbus, pool, std::numeric_limits<int>::max());
}

void MetricsExporter::beginUpdate()
{
    const std::lock_guard<std::mutex> lock(impl->updating);
    impl->stepping = false;
}

bool MetricsExporter::updateStep(const MetricsSource &console, int rows)
{
    return updateStep(console.hostTable(), console.pbuTable(), console.hostPool(), rows);
}

bool MetricsExporter::updateStep(const RecordSet &hosts, const RecordSet &pbus,
                                 const HostSubjectPool &pool, int rows)
{
    const std::lock_guard<std::mutex> lock(impl->updating);
    Impl &u = *impl;
    if (!u.stepping || hosts.count() != u.hostCount || pbus.count() != u.pbuCount) {
        u.begin();
        u.stepping = true;
        u.hostsDone = u.pbusDone = 0;
        u.hostCount = hosts.count();
        u.pbuCount = pbus.count();
    }
    int left = std::max(rows, 1);
    if (u.hostsDone < u.hostCount) {
        const int to = u.hostsDone + std::min(left, u.hostCount - u.hostsDone);
        u.updateHosts(hosts, pool, u.hostsDone, to);
        left -= to - u.hostsDone;
        u.hostsDone = to;
    }
    if (left > 0 && u.pbusDone < u.pbuCount) {
        const int to = u.pbusDone + std::min(left, u.pbuCount - u.pbusDone);
        u.updatePbus(pbus, pool, u.pbusDone, to);
        u.pbusDone = to;
    }
    if (u.hostsDone < u.hostCount || u.pbusDone < u.pbuCount)
        return false;
    u.finish();
    u.stepping = false;
    return true;
}

std::string MetricsExporter::listenAddress() const
{
    return impl->server->listenAddress();
}

} // namespace tarvo
