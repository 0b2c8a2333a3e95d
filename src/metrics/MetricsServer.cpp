// Listening for scrapes: the address checked, civetweb's own messages kept off stderr, the
// index page, and a stop that does not wait for civetweb's accept time-out.
#include "metrics/MetricsServer.h"

#include "platform/Socket.h"
#include "protocol/Convert.h"

#include <prometheus/collectable.h>
#include <prometheus/exposer.h>

#include <CivetServer.h>
#include <civetweb.h>

#include <arpa/inet.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <thread>

namespace tarvo {

namespace {

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

// The address of `where` as the sockets take it: an IPv6 address without its brackets, and
// for a connection the loopback in place of "every address".
std::string socketHost(const MetricsListen &where, bool forConnect)
{
    const std::string &host = where.address;
    if (!host.empty() && host.front() == '[') {
        const std::string inner = host.substr(1, host.size() - 2);
        return forConnect && inner == "::" ? "::1" : inner;
    }
    return forConnect && host == "0.0.0.0" ? "127.0.0.1" : host;
}

// Opens and at once closes a connection to the server, which wakes its accept wait.
void knock(const MetricsListen &where)
{
    constexpr int KNOCK_WAIT_MS = 1000;
    Connecting connecting = startConnecting(socketHost(where, true), uint16_t(where.port));
    if (!connecting.socket.valid())
        return;
    PollEntry made = PollEntry::of(connecting.socket, POLL_WRITABLE);
    std::string error;
    (void)pollSockets(&made, 1, KNOCK_WAIT_MS, error);
}

// Why `where` cannot be bound, in the console's words; empty when a bind succeeds now.
std::string bindProblem(const MetricsListen &where)
{
    const Listening trial = listenTcp(socketHost(where, false), int(where.port), 1);
    switch (trial.failure) {
    case Listening::Failure::NotNumeric:
        return "not an address";
    case Listening::Failure::Create:
        return std::strerror(trial.errorNumber);
    case Listening::Failure::Bind:
        return trial.errorNumber == EADDRINUSE
                   ? "the port is in use (another console or exporter listens there); "
                     "choose another with --metrics ADDR:PORT"
               : trial.errorNumber == EADDRNOTAVAIL ? "the address is not one of this machine's"
                                                    : std::strerror(trial.errorNumber);
    case Listening::Failure::None:
    case Listening::Failure::Listen:
        break;
    }
    return {};
}

// civetweb's messages (a failed bind, a dropped client) are not the console's: kept off
// stderr. "/" answers with a page that links to the metrics.
int quiet(const mg_connection *, const char *) { return 1; }

int indexPage(mg_connection *connection)
{
    const mg_request_info *request = mg_get_request_info(connection);
    if (!request || !request->local_uri || std::strcmp(request->local_uri, "/") != 0)
        return 0;
    static const char page[] =
        "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>TarvoMonitor metrics</title>"
        "</head>\n<body><h1>TarvoMonitor</h1><p><a href=\"/metrics\">Metrics</a> in the "
        "Prometheus text format.</p></body></html>\n";
    mg_printf(connection,
              "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n"
              "Content-Length: %zu\r\nConnection: close\r\n\r\n",
              sizeof page - 1);
    mg_write(connection, page, sizeof page - 1);
    return 200;
}

const CivetCallbacks &callbacks()
{
    static const CivetCallbacks made = [] {
        CivetCallbacks c;
        c.begin_request = indexPage;
        c.log_message = quiet;
        c.log_access = quiet;
        return c;
    }();
    return made;
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

namespace metrics {

Server::Server(const std::string &listen)
{
    where = parseMetricsListen(listen);
    const std::string text = where.address + ":" + std::to_string(where.port);
    try {
        exposer = std::make_unique<prometheus::Exposer>(
            std::vector<std::string>{"listening_ports", text, "num_threads", "2"}, &callbacks());
    } catch (const std::exception &e) {
        const std::string problem = bindProblem(where);
        throw std::runtime_error("metrics: cannot listen on " + text + ": " +
                                 (problem.empty() ? std::string(e.what()) : problem));
    }
    const std::vector<int> ports = exposer->GetListeningPorts();
    if (ports.empty() || ports.front() <= 0)
        throw std::runtime_error("metrics: cannot listen on " + text + ": no port was bound");
    where.port = unsigned(ports.front());
    bound = where.address + ":" + std::to_string(ports.front());
}

Server::~Server()
{
    // The server sees a stop request only when its accept wait (2 s) ends or a connection
    // comes in: knocking until it has stopped keeps closing the console quick.
    std::atomic<bool> stopped = false;
    std::thread knocker([this, &stopped] {
        while (!stopped.load()) {
            knock(where);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    exposer.reset();
    stopped = true;
    knocker.join();
}

void Server::serve(const std::shared_ptr<prometheus::Collectable> &collectable)
{
    exposer->RegisterCollectable(collectable);
}

} // namespace metrics
} // namespace tarvo
