// Listening for scrapes: the address checked, civetweb's own messages kept off stderr, the
// index page, and a stop that does not wait for civetweb's accept time-out.
#include "metrics/MetricsServer.h"

#include "protocol/Convert.h"

#include <prometheus/collectable.h>
#include <prometheus/exposer.h>

#include <CivetServer.h>
#include <civetweb.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

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

// The address of `where` for a socket of our own; false for a text that is none.
bool socketAddress(const MetricsListen &where, bool forConnect, sockaddr_storage &peer,
                   socklen_t &size)
{
    peer = {};
    std::string host = where.address;
    if (!host.empty() && host.front() == '[') {
        host = host.substr(1, host.size() - 2);
        auto *v6 = reinterpret_cast<sockaddr_in6 *>(&peer);
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(uint16_t(where.port));
        size = sizeof *v6;
        return inet_pton(AF_INET6, forConnect && host == "::" ? "::1" : host.c_str(),
                         &v6->sin6_addr) == 1;
    }
    auto *v4 = reinterpret_cast<sockaddr_in *>(&peer);
    v4->sin_family = AF_INET;
    v4->sin_port = htons(uint16_t(where.port));
    size = sizeof *v4;
    return inet_pton(AF_INET, forConnect && host == "0.0.0.0" ? "127.0.0.1" : host.c_str(),
                     &v4->sin_addr) == 1;
}

// Opens and at once closes a connection to the server, which wakes its accept wait.
void knock(const MetricsListen &where)
{
    sockaddr_storage peer{};
    socklen_t size = 0;
    if (!socketAddress(where, true, peer, size))
        return;
    const int fd = ::socket(peer.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return;
    (void)::connect(fd, reinterpret_cast<sockaddr *>(&peer), size);
    ::close(fd);
}

// Why `where` cannot be bound, in the console's words; empty when a bind succeeds now.
std::string bindProblem(const MetricsListen &where)
{
    sockaddr_storage address{};
    socklen_t size = 0;
    if (!socketAddress(where, false, address, size))
        return "not an address";
    const int fd = ::socket(address.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return std::strerror(errno);
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    std::string problem;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), size) != 0)
        problem = errno == EADDRINUSE
                      ? "the port is in use (another console or exporter listens there); "
                        "choose another with --metrics ADDR:PORT"
                  : errno == EADDRNOTAVAIL ? "the address is not one of this machine's"
                                           : std::strerror(errno);
    ::close(fd);
    return problem;
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
