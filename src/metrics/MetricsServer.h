// The HTTP side of the metrics exporter: the listen text, the server (prometheus-cpp's, on
// civetweb) with a page at "/" that links to /metrics, and a quick stop. Private to the
// exporter (Metrics.cpp).
#pragma once

#include "metrics/Metrics.h"

#include <memory>
#include <string>

namespace prometheus {
class Collectable;
class Exposer;
}

namespace tarvo::metrics {

class Server
{
public:
    // Binds `listen` (see parseMetricsListen). Throws std::invalid_argument for a bad text,
    // std::runtime_error naming the address when it cannot be bound (in use, not local).
    explicit Server(const std::string &listen);
    ~Server();
    Server(const Server &) = delete;
    Server &operator=(const Server &) = delete;

    void serve(const std::shared_ptr<prometheus::Collectable> &collectable);
    std::string listenAddress() const { return bound; }

private:
    MetricsListen where;
    std::string bound;
    std::unique_ptr<prometheus::Exposer> exposer;
};

} // namespace tarvo::metrics
