// The agent service's writes to its clients: the queue of each client, answers, log records to
// every client, closing a connection, and the loop that watches the programs.
#include "agent/service/AgentServerConnection.h"

#include "protocol/MessageBodies.h"

#include <exception>

namespace tarvo {

bool AgentServer::send(Connection &connection, const std::string &bytes)
{
    std::lock_guard lock(connection.writeMutex);
    if (connection.closed)
        return false;
    const auto now = ServiceClock::now();
    if (connection.queuedBytes == 0)
        connection.queuedSince = now;
    connection.queue.push_back(bytes);
    connection.queuedBytes += bytes.size();
    writeQueued(connection);
    if (connection.closed)
        return false;
    connection.timer.sent(now);
    if (connection.queuedBytes == 0)
        return true;
    if (connection.queuedBytes > m_settings.timings.maxQueuedBytes) {
        closeConnection(connection, "more than " +
                                        std::to_string(m_settings.timings.maxQueuedBytes) +
                                        " bytes wait to be sent: the client reads too little");
        return false;
    }
    // The reader writes the rest once the socket takes more.
    connection.wake();
    return true;
}

void AgentServer::writeQueued(Connection &connection)
{
    while (!connection.queue.empty() && !connection.closed) {
        const std::string &front = connection.queue.front();
        SocketIo n = connection.socket.send(front.data() + connection.queueOffset,
                                            front.size() - connection.queueOffset);
        if (n.status == SocketIo::Status::WouldBlock)
            return;
        if (n.status != SocketIo::Status::Done) {
            closeConnection(connection, "write failed: " + n.error);
            return;
        }
        connection.queueOffset += n.bytes;
        connection.queuedBytes -= n.bytes;
        if (connection.queueOffset == front.size()) {
            connection.queue.pop_front();
            connection.queueOffset = 0;
        }
    }
}

bool AgentServer::sendLogRecord(Connection &connection, const LogEvent &event)
{
    try {
        Message message(PROTOCOL_VERSION, "S", "-1",
                        std::make_unique<LogMessageBody>(
                            formatLogRecord(event.level, ++m_logNumber, event.text)));
        return send(connection, message.encode());
    } catch (const std::exception &e) {
        m_log.write(AgentLog::Level::Error,
                    "a log record cannot be encoded: " + clipForLog(e.what()));
        return false;
    }
}

void AgentServer::broadcast(const LogEvent &event)
{
    m_log.write(event.level, event.text);
    std::vector<std::shared_ptr<Connection>> connections;
    {
        std::lock_guard lock(m_connectionsMutex);
        connections = m_connections;
    }
    for (const auto &connection : connections)
        if (!connection->closed)
            sendLogRecord(*connection, event);
}

void AgentServer::closeConnection(Connection &connection, const std::string &why)
{
    if (connection.closed.exchange(true))
        return;
    m_log.write(AgentLog::Level::Info, connection.name() + " closed: " + clipForLog(why));
    connection.socket.shutdownBoth();
    connection.wake();
}

void AgentServer::watchLoop()
{
    for (;;) {
        PollEntry stop = PollEntry::of(m_stop);
        std::string pollError;
        if (pollSockets(&stop, 1, pollTimeout(m_settings.timings.watch), pollError) > 0)
            return;
        if (!m_watch)
            continue;
        std::vector<LogEvent> events;
        try {
            std::lock_guard lock(m_executeMutex);
            events = m_watch();
        } catch (const std::exception &e) {
            events.push_back({AgentLog::Level::Error, e.what()});
        }
        for (const LogEvent &event : events)
            broadcast(event);
    }
}

} // namespace tarvo
