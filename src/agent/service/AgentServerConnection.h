// What the agent service's source files share: one client connection and two small helpers.
#pragma once

#include "agent/service/AgentServer.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <deque>
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

// One client. Its socket is non-blocking: whoever has bytes for the client queues them (and
// writes what the socket takes at once); the connection's reader writes the rest when the
// socket becomes writable, so no client that stops reading holds up anyone else.
struct AgentServer::Connection
{
    Connection(int id, int fd, std::string peer, const ServiceTimings &timings)
        : id(id), fd(fd), wakeFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), peer(std::move(peer)),
          timer(timings, ServiceClock::now())
    {
        if (wakeFd < 0)
            throw std::runtime_error("cannot create its wake-up event: " + errnoText(errno));
    }
    ~Connection()
    {
        if (fd >= 0)
            ::close(fd);
        if (wakeFd >= 0)
            ::close(wakeFd);
    }

    std::string name() const { return "connection " + std::to_string(id) + " from " + peer; }
    // Wakes the reader (bytes queued, a request done, the connection closed).
    void wake()
    {
        uint64_t one = 1;
        [[maybe_unused]] ssize_t written = ::write(wakeFd, &one, sizeof one);
    }

    const int id;
    const int fd;
    const int wakeFd;
    const std::string peer;
    ConnectionTimer timer;
    std::atomic<bool> closed = false;
    std::atomic<bool> finished = false;
    // A whole message came from this client: it speaks the protocol.
    std::atomic<bool> spoken = false;
    // Requests queued for execution and not yet done.
    std::atomic<int> pending = 0;
    // Messages ignored and requests left unanswered so far.
    std::atomic<int> ignored = 0;

    // Guards the queue of bytes to write and the writes themselves.
    std::mutex writeMutex;
    std::deque<std::string> queue;
    size_t queueOffset = 0; // bytes of queue.front() already written
    size_t queuedBytes = 0;
    ServiceClock::time_point queuedSince; // when the queue last stopped being empty

    std::thread reader;
};

} // namespace tarvo
