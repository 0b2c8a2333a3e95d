// One client's reader: whole messages handed on, the time rules kept, and one wait for the
// socket, the connection's wake-up or the service's stop, after which it writes and reads.
#include "agent/service/AgentServerConnection.h"

#include "agent/service/FrameReader.h"
#include "protocol/MessageBodies.h"

namespace tarvo {
namespace {

const std::string &heartbeatBytes()
{
    static const std::string bytes = [] {
        Message beat(PROTOCOL_VERSION, "S", "-1", std::make_unique<BeatMessageBody>());
        return beat.encode();
    }();
    return bytes;
}

} // namespace

void AgentServer::readConnection(const std::shared_ptr<Connection> &connection)
{
    Connection &c = *connection;
    FrameReader frames;
    while (!c.closed) {
        if (!deliverMessages(connection, frames))
            break;
        // A client whose requests wait for the worker is neither idle nor slow to send: its
        // reader is the one not reading.
        const bool reading = c.pending < MAX_PENDING_REQUESTS;
        const bool partial = reading && frames.hasPartial();
        bool writing = false;
        std::chrono::milliseconds wait{};
        switch (applyTimeRules(c, partial, writing, wait)) {
        case TimeRule::Broken:
            return;
        case TimeRule::HeartbeatDue:
            send(c, heartbeatBytes());
            continue;
        case TimeRule::Wait:
            break;
        }
        if (!waitAndTransfer(c, frames, reading, writing, wait))
            break;
    }
}

bool AgentServer::deliverMessages(const std::shared_ptr<Connection> &connection,
                                  FrameReader &frames)
{
    Connection &c = *connection;
    // As far as this client's share of the worker allows.
    while (!c.closed && c.pending < MAX_PENDING_REQUESTS) {
        FrameReader::Result result = frames.next();
        if (result.kind == FrameReader::Result::Kind::NeedMore)
            break;
        if (result.kind == FrameReader::Result::Kind::Error) {
            closeConnection(c, result.error);
            break;
        }
        const auto now = ServiceClock::now();
        c.spoken = true;
        c.timer.heard(now);
        if (frames.hasPartial())
            c.timer.messageStarted(now);
        handleMessage(connection, std::move(result.message));
    }
    return !c.closed;
}

AgentServer::TimeRule AgentServer::applyTimeRules(Connection &c, bool partial, bool &writing,
                                                  std::chrono::milliseconds &wait)
{
    const ServiceTimings &timings = m_settings.timings;
    const auto now = ServiceClock::now();
    if (c.timer.incompleteExpired(now, partial)) {
        closeConnection(c, "an incomplete message not completed within " +
                               std::to_string(timings.incompleteTimeout.count()) +
                               " ms of its first byte");
        return TimeRule::Broken;
    }
    if (c.pending == 0 && !partial && c.timer.idleExpired(now)) {
        closeConnection(c, "no whole message received for " +
                               std::to_string(timings.idleTimeout.count()) + " ms");
        return TimeRule::Broken;
    }
    wait = c.timer.waitFor(now, partial, c.pending == 0);
    {
        std::lock_guard lock(c.writeMutex);
        if (c.queuedBytes > 0) {
            writing = true;
            const auto due = c.queuedSince + timings.sendTimeout;
            if (due <= now) {
                closeConnection(c, "the client has not read what it was sent for " +
                                       std::to_string(timings.sendTimeout.count()) + " ms (" +
                                       std::to_string(c.queuedBytes) + " bytes waiting)");
                return TimeRule::Broken;
            }
            wait = std::min(wait, std::chrono::ceil<std::chrono::milliseconds>(due - now));
        }
    }
    if (!writing && c.timer.heartbeatDue(now))
        return TimeRule::HeartbeatDue;
    return TimeRule::Wait;
}

bool AgentServer::waitAndTransfer(Connection &c, FrameReader &frames, bool reading,
                                  bool writing, std::chrono::milliseconds wait)
{
    const unsigned events = (reading ? POLL_READABLE : 0u) | (writing ? POLL_WRITABLE : 0u);
    PollEntry fds[3] = {PollEntry::of(c.socket, events), PollEntry::of(c.wakeUp),
                        PollEntry::of(m_stop)};
    std::string pollError;
    const int ready = pollSockets(fds, 3, pollTimeout(wait), pollError);
    if (ready < 0) {
        closeConnection(c, "poll failed: " + pollError);
        return false;
    }
    if (ready == 0)
        return true;
    if (fds[2].ready)
        return false;
    if (fds[1].ready)
        c.wakeUp.clear();
    if (fds[0].ready & POLL_WRITABLE) {
        std::lock_guard lock(c.writeMutex);
        writeQueued(c);
    }
    if (!reading && (fds[0].ready & POLL_HANGUP)) {
        closeConnection(c, "closed by the client");
        return false;
    }
    if (!(fds[0].ready & (POLL_READABLE | POLL_HANGUP)) || !reading)
        return true;
    return receiveInto(c, frames);
}

bool AgentServer::receiveInto(Connection &c, FrameReader &frames)
{
    char chunk[4096];
    const SocketIo n = c.socket.receive(chunk, sizeof chunk);
    switch (n.status) {
    case SocketIo::Status::Closed:
        closeConnection(c, "closed by the client");
        return false;
    case SocketIo::Status::WouldBlock:
        return true;
    case SocketIo::Status::Failed:
        closeConnection(c, "read failed: " + n.error);
        return false;
    default:
        break;
    }
    if (!frames.hasPartial())
        c.timer.messageStarted(ServiceClock::now());
    frames.append(std::string_view(chunk, n.bytes));
    return true;
}

} // namespace tarvo
