// The agent service's writes to its clients: answers, log records to every client, closing a
// connection, and the loop that watches the programs and reports what changed.
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
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::send(connection.fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int error = errno;
            closeConnection(connection, error == EAGAIN || error == EWOULDBLOCK
                                            ? "the client reads nothing, write timed out"
                                            : "write failed: " + errnoText(error));
            return false;
        }
        done += size_t(n);
    }
    connection.timer.sent(ServiceClock::now());
    return true;
}

bool AgentServer::sendLogRecord(Connection &connection, const LogEvent &event)
{
    try {
        Message message(PROTOCOL_VERSION, "S", "-1",
                        std::make_unique<LogMessageBody>(
                            formatLogRecord(event.level, ++m_logNumber, event.text)));
        return send(connection, message.encode());
    } catch (const std::exception &e) {
        m_log.write(AgentLog::Level::Error, "a log record cannot be encoded: " + std::string(e.what()));
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
    m_log.write(AgentLog::Level::Info, connection.name() + " closed: " + why);
    ::shutdown(connection.fd, SHUT_RDWR);
    connection.pendingChanged.notify_all();
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
