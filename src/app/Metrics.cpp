// The Prometheus exporter: listen text checking, the series of every family as of the last
// update, and the counters that follow the agents' counts across program restarts.
#include "app/Metrics.h"

#include "app/ConsoleTimings.h"
#include "app/Fmain.h"
#include "app/MetricsSeries.h"
#include "framework/RecordSet.h"
#include "host/HostSubjectPool.h"
#include "host/StatusNames.h"
#include "protocol/Convert.h"
#include "platform/Gbk.h"

#include <prometheus/collectable.h>
#include <prometheus/counter.h>
#include <prometheus/exposer.h>
#include <prometheus/gauge.h>
#include <prometheus/registry.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cmath>
#include <concepts>
#include <limits>
#include <map>
#include <unordered_map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>

namespace tarvo {

namespace {

using prometheus::Labels;
using metrics::GaugeFamily;
using metrics::OrderedCollectable;
using metrics::RowIndex;
using metrics::SeriesSet;

const std::string kConnected = "已连接";

[[noreturn]] void badListen(std::string_view listen, const std::string &why)
{
    throw std::invalid_argument("metrics listen address \"" + std::string(listen) + "\": " + why
                                + " (expected PORT or ADDRESS:PORT, e.g. 127.0.0.1:9464)");
}

bool allDigits(std::string_view text)
{
    return !text.empty()
           && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

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

prometheus::Family<prometheus::Gauge> &gauge(prometheus::Registry &registry,
                                             const std::string &name, const std::string &help)
{
    return prometheus::BuildGauge().Name(name).Help(help).Register(registry);
}

prometheus::Family<prometheus::Counter> &counter(prometheus::Registry &registry,
                                                 const std::string &name, const std::string &help)
{
    return prometheus::BuildCounter().Name(name).Help(help).Register(registry);
}

// Opens and at once closes a connection to the server, which wakes its accept wait.
void knock(const MetricsListen &where)
{
    sockaddr_storage peer{};
    socklen_t size = 0;
    std::string host = where.address;
    if (!host.empty() && host.front() == '[') {
        host = host.substr(1, host.size() - 2);
        auto *v6 = reinterpret_cast<sockaddr_in6 *>(&peer);
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(uint16_t(where.port));
        if (inet_pton(AF_INET6, host == "::" ? "::1" : host.c_str(), &v6->sin6_addr) != 1)
            return;
        size = sizeof *v6;
    } else {
        auto *v4 = reinterpret_cast<sockaddr_in *>(&peer);
        v4->sin_family = AF_INET;
        v4->sin_port = htons(uint16_t(where.port));
        if (inet_pton(AF_INET, host == "0.0.0.0" ? "127.0.0.1" : host.c_str(), &v4->sin_addr) != 1)
            return;
        size = sizeof *v4;
    }
    const int fd = ::socket(peer.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return;
    (void)::connect(fd, reinterpret_cast<sockaddr *>(&peer), size);
    ::close(fd);
}

} // namespace

MetricsListen parseMetricsListen(std::string_view listen)
{
    const std::string_view text = trimBlanks(listen);
    if (text.empty())
        badListen(listen, "empty");
    MetricsListen result;
    std::string_view portText;
    if (allDigits(text)) {
        result.address = "127.0.0.1";
        portText = text;
    } else {
        const size_t colon = text.rfind(':');
        if (colon == std::string_view::npos)
            badListen(listen, "no port");
        std::string_view host = text.substr(0, colon);
        portText = text.substr(colon + 1);
        if (host.empty())
            badListen(listen, "no address before the port");
        if (host == "localhost")
            host = "127.0.0.1";
        if (host.front() == '[') {
            if (host.size() < 3 || host.back() != ']')
                badListen(listen, "an IPv6 address needs its closing bracket");
            in6_addr v6{};
            const std::string inner(host.substr(1, host.size() - 2));
            if (inet_pton(AF_INET6, inner.c_str(), &v6) != 1)
                badListen(listen, "'" + inner + "' is not an IPv6 address");
        } else {
            in_addr v4{};
            const std::string address(host);
            if (inet_pton(AF_INET, address.c_str(), &v4) != 1)
                badListen(listen, "'" + address + "' is not an IPv4 address");
        }
        result.address = std::string(host);
    }
    if (!allDigits(portText))
        badListen(listen, portText.empty() ? "no port" : "'" + std::string(portText) + "' is not a port number");
    if (portText.size() > 5 || std::stoul(std::string(portText)) > 65535)
        badListen(listen, "port " + std::string(portText) + " is above 65535");
    result.port = unsigned(std::stoul(std::string(portText)));
    return result;
}

struct MetricsExporter::Impl
{
    Impl()
        : registry(std::make_shared<prometheus::Registry>()),
          up(gauge(*registry, "tarvo_host_up",
                   "1 while the console is connected to the host's agent, else 0")),
          stale(gauge(*registry, "tarvo_host_stale",
                      "1 while the host is connected but has left its last 3 status requests "
                      "unanswered, else 0")),
          cpu(gauge(*registry, "tarvo_host_cpu_usage_percent", "CPU usage the agent reported")),
          memory(gauge(*registry, "tarvo_host_memory_usage_percent",
                       "Memory usage the agent reported")),
          disk(gauge(*registry, "tarvo_host_disk_usage_percent", "Disk usage the agent reported")),
          programStates("tarvo_program_state",
                        "State of an order-submission program: 0 unknown, 1 stopped, "
                        "2 initialising, 3 running, 4 logging out, 5 logging in, -1 other"),
          programState(programStates),
          exposed(std::make_shared<OrderedCollectable>(registry, programStates,
                                                       "tarvo_host_active_pbus")),
          activePbus(gauge(*registry, "tarvo_host_active_pbus", "PBUs of the host that run")),
          sleepingPbus(gauge(*registry, "tarvo_host_sleeping_pbus",
                             "PBUs of the host that are stopped")),
          pbuState(gauge(*registry, "tarvo_pbu_state",
                         "State code of a PBU (0 to 5 as for programs, -1 other)")),
          orders(counter(*registry, "tarvo_pbu_orders_total", "Orders the PBU sent")),
          responses(counter(*registry, "tarvo_pbu_responses_total",
                            "Order responses the PBU received")),
          trades(counter(*registry, "tarvo_pbu_trades_total", "Trade reports the PBU received"))
    {
    }

    void begin()
    {
        for (RowIndex *index : {&hostRows, &programRows, &pbuRows})
            index->begin();
        for (SeriesSet<prometheus::Gauge> *set : gauges())
            set->begin();
        programState.begin();
        for (SeriesSet<prometheus::Counter> *set : counters())
            set->begin();
    }
    void finish()
    {
        for (SeriesSet<prometheus::Gauge> *set : gauges())
            set->finish();
        programState.finish();
        for (SeriesSet<prometheus::Counter> *set : counters())
            set->finish();
        for (RowIndex *index : {&hostRows, &programRows, &pbuRows})
            index->finish();
    }
    std::array<SeriesSet<prometheus::Gauge> *, 8> gauges()
    {
        return {&up, &stale, &cpu, &memory, &disk, &activePbus, &sleepingPbus, &pbuState};
    }
    std::array<SeriesSet<prometheus::Counter> *, 3> counters()
    {
        return {&orders, &responses, &trades};
    }

    // Rows [from, to) of each table.
    void updateHosts(const RecordSet &hosts, const HostSubjectPool &pool, int from, int to);
    void updatePbus(const RecordSet &pbus, int from, int to);

    // The update in steps: where it stands, and the row counts it started with (a table
    // whose count changed between two steps has moved its rows: the update starts again).
    bool stepping = false;
    int hostsDone = 0, pbusDone = 0;
    int hostCount = 0, pbuCount = 0;

    // Declared first, destroyed last: the server (declared last) stops before the metrics go.
    std::shared_ptr<prometheus::Registry> registry;
    SeriesSet<prometheus::Gauge> up, stale, cpu, memory, disk;
    GaugeFamily programStates;
    SeriesSet<prometheus::Gauge, GaugeFamily> programState;
    std::shared_ptr<OrderedCollectable> exposed;  // the registry with programStates in its place
    SeriesSet<prometheus::Gauge> activePbus, sleepingPbus, pbuState;
    SeriesSet<prometheus::Counter> orders, responses, trades;
    RowIndex hostRows, programRows, pbuRows;
    std::mutex updating;  // update() is meant for the GUI thread; this keeps a stray call safe
    MetricsListen where;  // as bound
    std::string bound;
    std::unique_ptr<prometheus::Exposer> exposer;
};

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

    for (int row = from; row < to; ++row) {
        const std::string &ip = hosts.valueAt(row, ipField);
        const std::string &name = hosts.valueAt(row, nameField);
        std::string key = ip;
        key += '\x01';
        key += name;
        const auto labels = [&] {
            return Labels{{"host", gbk::toUtf8(ip)}, {"name", gbk::toUtf8(name)}};
        };
        const size_t slot = hostRows.slotOf(hosts.recIdAt(row), key);
        const bool connected = hosts.valueAt(row, connectionField) == kConnected;
        up.set(slot, labels, connected ? 1 : 0);

        // A disconnected host's last usages are history, not its state: left out.
        const HostSubject *host = connected ? pool.find(ip) : nullptr;
        stale.set(slot, labels, host && host->stale ? 1 : 0);
        const auto usage = [&](SeriesSet<prometheus::Gauge> &set, const std::string &text) {
            if (const auto value = numberOf(text, true))
                set.set(slot, labels, *value);
        };
        if (host) {
            usage(cpu, host->getCpuUsage());
            usage(memory, host->getMemoryUsage());
            usage(disk, host->getDiskUsage());
        }

        for (int which = 0; which < 2; ++which) {
            const std::string &word = hosts.valueAt(row, programFields[which]);
            std::string programKey = key;
            programKey += which == 0 ? "\x01" "A\x01" : "\x01" "B\x01";
            programKey += word;
            const size_t programSlot =
                programRows.slotOf(hosts.recIdAt(row) * 2 + which, std::move(programKey));
            programState.set(programSlot, [&] {
                Labels program = labels();
                program.emplace("program", which == 0 ? "A" : "B");
                program.emplace("state", gbk::toUtf8(word));
                return program;
            }, stateIndex(word));
        }

        if (const auto active = numberOf(hosts.valueAt(row, activeField), false))
            activePbus.set(slot, labels, *active);
        if (const auto sleeping = numberOf(hosts.valueAt(row, sleepingField), false))
            sleepingPbus.set(slot, labels, *sleeping);
    }
}

void MetricsExporter::Impl::updatePbus(const RecordSet &pbus, int from, int to)
{
    const int hostField = pbus.requireField("HostIp");
    const int programField = pbus.requireField("OES");
    const int idField = pbus.requireField("ID");
    const int operatorField = pbus.requireField("Operator");
    const int statusField = pbus.requireField("Status");
    const std::pair<SeriesSet<prometheus::Counter> *, int> counts[3] = {
        {&orders, pbus.requireField("Submitted")},
        {&responses, pbus.requireField("Responsed")},
        {&trades, pbus.requireField("CJHB")},
    };

    std::string key;
    for (int row = from; row < to; ++row) {
        const std::string &hostIp = pbus.valueAt(row, hostField);
        const std::string &program = pbus.valueAt(row, programField);
        const std::string &id = pbus.valueAt(row, idField);
        const std::string &op = pbus.valueAt(row, operatorField);
        key.assign(hostIp);
        for (const std::string *part : {&program, &id, &op}) {
            key += '\x01';
            key += *part;
        }
        const auto labels = [&] {
            return Labels{{"host", gbk::toUtf8(hostIp)},
                          {"program", gbk::toUtf8(program)},
                          {"pbu", gbk::toUtf8(id)},
                          {"operator", gbk::toUtf8(op)}};
        };
        const size_t slot = pbuRows.slotOf(pbus.recIdAt(row), key);
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

MetricsExporter::MetricsExporter(const std::string &listen) : impl(std::make_unique<Impl>())
{
    const MetricsListen where = parseMetricsListen(listen);
    const std::string text = where.address + ":" + std::to_string(where.port);
    try {
        impl->exposer = std::make_unique<prometheus::Exposer>(text);
    } catch (const std::exception &e) {
        throw std::runtime_error("metrics: cannot listen on " + text + ": " + e.what());
    }
    const std::vector<int> ports = impl->exposer->GetListeningPorts();
    if (ports.empty() || ports.front() <= 0)
        throw std::runtime_error("metrics: cannot listen on " + text + ": no port was bound");
    impl->where = {where.address, unsigned(ports.front())};
    impl->bound = where.address + ":" + std::to_string(ports.front());
    impl->exposer->RegisterCollectable(impl->exposed);
    impl->exposer->RegisterCollectable(ConsoleTimings::instance().registry());
}

MetricsExporter::~MetricsExporter()
{
    // The server sees a stop request only when its accept wait (2 s) ends or a connection
    // comes in: knocking until it has stopped keeps closing the console quick.
    std::atomic<bool> stopped = false;
    std::thread knocker([this, &stopped] {
        while (!stopped.load()) {
            knock(impl->where);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    impl->exposer.reset();
    stopped = true;
    knocker.join();
}

void MetricsExporter::update(const TF_Main &window)
{
    // hostPool() is only non-const because it serves the dialogs; nothing here changes it.
    update(window.hostTable(), window.pbuTable(), const_cast<TF_Main &>(window).hostPool());
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

bool MetricsExporter::updateStep(const TF_Main &window, int rows)
{
    return updateStep(window.hostTable(), window.pbuTable(),
                      const_cast<TF_Main &>(window).hostPool(), rows);
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
        u.updatePbus(pbus, u.pbusDone, to);
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
    return impl->bound;
}

} // namespace tarvo
