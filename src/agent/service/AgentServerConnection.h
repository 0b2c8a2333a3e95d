// What the agent service's source files share: one client connection and two small helpers.
#pragma once

#include "agent/service/AgentServer.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

namespace tarvo {

// "111 Connection refused".
inline std::string errnoText(int error)
{
    return std::to_string(error) + " " + std::strerror(error);
}

// A poll(2) time-out for a wait, at most an hour.
inline int pollTimeout(std::chrono::milliseconds wait)
{
    return int(std::min<std::chrono::milliseconds::rep>(wait.count(), 60 * 60 * 1000));
}

struct AgentServer::Connection
{
    Connection(int id, int fd, std::string peer, const ServiceTimings &timings)
        : id(id), fd(fd), peer(std::move(peer)), timer(timings, ServiceClock::now())
    {
    }
    ~Connection()
    {
        if (fd >= 0)
            ::close(fd);
    }

    std::string name() const { return "connection " + std::to_string(id) + " from " + peer; }

    const int id;
    const int fd;
    const std::string peer;
    ConnectionTimer timer;
    std::mutex writeMutex;
    std::atomic<bool> closed = false;
    std::atomic<bool> finished = false;
    std::mutex pendingMutex;
    std::condition_variable pendingChanged;
    int pending = 0;
    std::thread reader;
};

} // namespace tarvo
