// What the agent service's source files share: one client connection and two small helpers.
#pragma once

#include "agent/service/AgentServer.h"

#include "platform/Socket.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

namespace tarvo {

// Requests of one client waiting for execution; beyond this its reader stops reading.
constexpr int MAX_PENDING_REQUESTS = 16;

// A poll time-out for a wait, at most an hour.
inline int pollTimeout(std::chrono::milliseconds wait)
{
    return int(std::min<std::chrono::milliseconds::rep>(wait.count(), 60 * 60 * 1000));
}

// One client. Its socket is non-blocking: whoever has bytes for the client queues them (and
// writes what the socket takes at once); the connection's reader writes the rest when the
// socket becomes writable, so no client that stops reading holds up anyone else.
struct AgentServer::Connection
{
    Connection(int id, Socket socket, std::string peer, const ServiceTimings &timings)
        : id(id), socket(std::move(socket)), peer(std::move(peer)),
          timer(timings, ServiceClock::now())
    {
        if (!wakeUp.ok())
            throw std::runtime_error("cannot create its wake-up event: " + wakeUp.error());
    }

    std::string name() const { return "connection " + std::to_string(id) + " from " + peer; }
    // Wakes the reader (bytes queued, a request done, the connection closed).
    void wake() { wakeUp.signal(); }

    const int id;
    Socket socket;
    const WakeUp wakeUp;
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
