// The agent farm: N simulated agents in one process, one listening socket per agent on its
// own loopback address, all served by one epoll loop.
#pragma once

#include "FarmHost.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tarvo::farm {

struct FarmOptions
{
    int hosts = 100;
    std::string firstAddress = "127.0.1.1";
    int port = 10012;  // 0: each agent gets a free port of its own (see Farm::ports)
    FarmBehaviour behaviour;
    // Share (0..1) of status answers after which the agent drops the connection.
    double dropRate = 0;
    // Mean seconds between two log messages pushed by one agent; 0: none.
    double logInterval = 30;
    // A connection on which nothing was sent for this long gets a heartbeat.
    std::chrono::milliseconds heartbeat{5000};
    uint32_t seed = 1;
};

// Counts since the start, for the summary and the tests.
struct FarmCounts
{
    std::atomic<uint64_t> accepted{0};
    std::atomic<uint64_t> closed{0};
    std::atomic<uint64_t> requests{0};
    std::atomic<uint64_t> statusAnswers{0};
    std::atomic<uint64_t> heartbeatsReceived{0};
    std::atomic<uint64_t> heartbeatsSent{0};
    std::atomic<uint64_t> logMessages{0};
    std::atomic<uint64_t> badMessages{0};
};

// The `count` addresses from `first` on, counting through the last two bytes and skipping
// the last byte's values 0 and 255 ("127.0.1.254" is followed by "127.0.2.1"). Throws
// std::invalid_argument for an address that is not dotted IPv4 or runs out of 127.0.0.0/8.
std::vector<std::string> farmAddresses(const std::string &first, int count);

// The console's host list for the farm's agents: "farmN,ADDR,PORT,N,N,0," per line.
std::string hostListText(const std::vector<std::string> &addresses, int port);
// The same with a port per address.
std::string hostListText(const std::vector<std::string> &addresses, const std::vector<int> &ports);

// Raises the soft limit of open files to the hard one; returns the limit now in force.
long raiseOpenFileLimit();

class Farm
{
public:
    explicit Farm(FarmOptions options);
    ~Farm();
    Farm(const Farm &) = delete;
    Farm &operator=(const Farm &) = delete;

    // Binds and listens on every address; throws std::runtime_error naming the address and
    // the system's reason when one cannot be bound.
    void listen();
    // Serves until `stop` is set (checked at least every 100 ms).
    void run(const std::atomic<bool> &stop);

    const std::vector<std::string> &addresses() const { return m_addresses; }
    // The port each agent listens on, after listen().
    const std::vector<int> &ports() const { return m_ports; }
    const FarmCounts &counts() const { return m_counts; }

private:
    struct Connection;
    void accept(int listener);
    void readFrom(Connection &connection);
    void handle(Connection &connection);
    void send(Connection &connection, const std::string &bytes);
    void flush(Connection &connection);
    void close(Connection &connection);
    void timerPass(std::chrono::steady_clock::time_point now);

    FarmOptions m_options;
    std::vector<std::string> m_addresses;
    std::vector<std::unique_ptr<FarmHost>> m_hosts;
    std::vector<int> m_listeners;
    std::vector<int> m_ports;
    int m_epoll = -1;
    // Indexed by file descriptor.
    std::vector<std::unique_ptr<Connection>> m_connections;
    std::vector<int> m_listenerHost;  // by file descriptor: the host index, or -1
    std::mt19937 m_random;
    FarmCounts m_counts;
};

} // namespace tarvo::farm
