// The agent service's writes to its clients: the queue of each client, answers, log records to
// every client, closing a connection, and the loop that watches the programs.
#include "agent/service/AgentServerConnection.h"

#include "protocol/MessageBodies.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
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
        ssize_t n = ::send(connection.fd, front.data() + connection.queueOffset,
                           front.size() - connection.queueOffset, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        if (n < 0) {
            closeConnection(connection, "write failed: " + errnoText(errno));
            return;
        }
        connection.queueOffset += size_t(n);
        connection.queuedBytes -= size_t(n);
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
    ::shutdown(connection.fd, SHUT_RDWR);
    connection.wake();
}

void AgentServer::watchLoop()
{
    for (;;) {
        pollfd stop{m_stopFd, POLLIN, 0};
        if (::poll(&stop, 1, pollTimeout(m_settings.timings.watch)) > 0)
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
