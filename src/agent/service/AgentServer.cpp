// Sockets and threads of the agent's network service.
#include "agent/service/AgentServer.h"
#include "agent/service/AgentServerConnection.h"

#include "agent/service/ConnectionLimits.h"

#include "protocol/MessageBodies.h"

#include <exception>

namespace tarvo {
namespace {

// Messages of one connection that are ignored with a log line; the rest silently.
constexpr int MAX_IGNORED_LOGGED = 10;
// Connections waiting to be accepted.
constexpr int LISTEN_BACKLOG = 64;

// The text of a request for the log: its type, sequence and (for "19") its check, cut to
// a loggable length since every part of it comes from the client.
std::string describeRequest(const Message &request)
{
    std::string text = "\"" + clipForLog(request.getMessageType()) + "\" sequence " +
                       clipForLog(request.getSequence());
    if (auto *body = dynamic_cast<TroubleShootingRequestMessageBody *>(request.getBody()))
        text += " " + clipForLog(body->getShootingType());
    return text;
}

} // namespace

// What a connection sent that the agent does not act on (a message it does not execute, a
// request without an answer) is logged MAX_IGNORED_LOGGED times per connection: a client that
// sends nothing else would otherwise write the log full.
void AgentServer::logIgnored(Connection &connection, const std::string &what)
{
    const int ignored = ++connection.ignored;
    if (ignored > MAX_IGNORED_LOGGED)
        return;
    m_log.write(AgentLog::Level::Warning,
                connection.name() + ": " + what +
                    (ignored == MAX_IGNORED_LOGGED
                         ? "; further ignored messages of this connection are not logged"
                         : ""));
}

AgentServer::AgentServer(ServiceSettings settings, ServiceLog &log)
    : m_settings(std::move(settings)), m_log(log),
      m_refusals(m_settings.timings.refusalLogInterval),
      m_scheduler(m_settings.timings.requestsPerSecond, m_settings.timings.requestBurst,
                  m_settings.timings.totalRequestsPerSecond)
{
}

AgentServer::~AgentServer()
{
    stop();
}

void AgentServer::setStandingProblem(std::string text)
{
    std::lock_guard lock(m_connectionsMutex);
    m_standingProblem = std::move(text);
}

std::string AgentServer::start()
{
    if (!m_stop.ok())
        return "cannot create the stop event: " + m_stop.error();

    const std::string where =
        (m_settings.bindAddress.empty() ? std::string("*") : m_settings.bindAddress) + ":" +
        std::to_string(m_settings.port);
    Listening listening = listenTcp(m_settings.bindAddress, m_settings.port, LISTEN_BACKLOG);
    switch (listening.failure) {
    case Listening::Failure::None:
        break;
    case Listening::Failure::NotNumeric:
        return "cannot listen on " + where + ": not a numeric address (" + listening.error + ")";
    case Listening::Failure::Create:
        return "cannot create the listening socket: " + listening.error;
    case Listening::Failure::Bind:
    case Listening::Failure::Listen:
        return "cannot listen on " + where + ": " + listening.error;
    }
    m_listening = std::move(listening.socket);
    m_port = listening.port;

    m_started = true;
    m_workerThread = std::thread([this] { workerLoop(); });
    m_watchThread = std::thread([this] { watchLoop(); });
    m_acceptThread = std::thread([this] { acceptLoop(); });
    return {};
}

void AgentServer::requestStop()
{
    if (!m_stop.ok())
        return;
    m_stop.signal();
}

void AgentServer::waitForStopRequest()
{
    PollEntry stop = PollEntry::of(m_stop);
    std::string error;
    while (pollSockets(&stop, 1, -1, error) == 0) {
    }
}

void AgentServer::stop()
{
    if (!m_started || m_stopped)
        return;
    m_stopped = true;
    requestStop();
    m_acceptThread.join();
    m_watchThread.join();
    {
        std::lock_guard lock(m_queueMutex);
        m_workerStop = true;
    }
    m_queueChanged.notify_all();
    m_workerThread.join();

    std::vector<std::shared_ptr<Connection>> connections;
    {
        std::lock_guard lock(m_connectionsMutex);
        connections.swap(m_connections);
    }
    for (const auto &connection : connections)
        closeConnection(*connection, "the agent stops");
    for (const auto &connection : connections)
        if (connection->reader.joinable())
            connection->reader.join();
    m_waiting.clear();
    m_listening.close();
}

size_t AgentServer::clientCount() const
{
    std::lock_guard lock(m_connectionsMutex);
    size_t count = 0;
    for (const auto &connection : m_connections)
        count += connection->closed ? 0 : 1;
    return count;
}

void AgentServer::reapFinished()
{
    std::vector<std::shared_ptr<Connection>> finished;
    {
        std::lock_guard lock(m_connectionsMutex);
        for (auto it = m_connections.begin(); it != m_connections.end();) {
            if ((*it)->finished) {
                finished.push_back(*it);
                it = m_connections.erase(it);
            } else {
                ++it;
            }
        }
    }
    if (!finished.empty()) {
        std::lock_guard lock(m_queueMutex);
        for (const auto &connection : finished) {
            m_waiting.erase(connection->id);
            m_scheduler.forget(connection->id);
        }
    }
    for (const auto &connection : finished)
        if (connection->reader.joinable())
            connection->reader.join();
}

void AgentServer::readerLoop(std::shared_ptr<Connection> connection)
{
    try {
        readConnection(connection);
    } catch (const std::exception &e) {
        closeConnection(*connection, std::string("internal error: ") + e.what());
    }
    {
        // What the client never read goes now, not when the connection is reaped.
        std::lock_guard lock(connection->writeMutex);
        connection->queue.clear();
        connection->queuedBytes = 0;
    }
    connection->finished = true;
}

void AgentServer::handleMessage(const std::shared_ptr<Connection> &connection,
                                std::unique_ptr<Message> message)
{
    const std::string &type = message->getMessageType();
    if (type == "12") {
        m_log.write(AgentLog::Level::Debug, connection->name() + ": heartbeat");
        return;
    }
    if ((type != "02" && type != "19") || !message->getBody()) {
        logIgnored(*connection,
                   "ignored a message of type \"" + clipForLog(type) +
                       "\", which the agent does not execute");
        return;
    }
    m_log.write(AgentLog::Level::Debug, connection->name() + ": request " + describeRequest(*message));
    ++connection->pending;
    {
        std::lock_guard lock(m_queueMutex);
        m_waiting[connection->id].push_back({connection, std::move(message)});
        m_scheduler.queued(connection->id, connection->peer, ServiceClock::now());
    }
    m_queueChanged.notify_one();
}

bool AgentServer::nextJob(Job &job)
{
    std::unique_lock lock(m_queueMutex);
    while (!m_workerStop) {
        // What closed connections left waits no turn.
        for (auto it = m_waiting.begin(); it != m_waiting.end();) {
            if (it->second.empty() || !it->second.front().connection->closed) {
                ++it;
                continue;
            }
            m_scheduler.forget(it->first);
            it = m_waiting.erase(it);
        }
        const RequestScheduler::Turn turn = m_scheduler.next(ServiceClock::now());
        if (turn.client) {
            std::deque<Job> &jobs = m_waiting[*turn.client];
            if (jobs.empty()) { // cannot happen: both count the same requests
                m_scheduler.forget(*turn.client);
                continue;
            }
            job = std::move(jobs.front());
            jobs.pop_front();
            return true;
        }
        if (turn.retryAt)
            m_queueChanged.wait_until(lock, *turn.retryAt);
        else
            m_queueChanged.wait(lock);
    }
    return false;
}

void AgentServer::workerLoop()
{
    for (Job job; nextJob(job); job = {}) {
        execute(job);
        job.connection->timer.active(ServiceClock::now());
        --job.connection->pending;
        job.connection->wake();
    }
}

void AgentServer::execute(Job &job)
{
    Connection &connection = *job.connection;
    if (connection.closed)
        return;
    const std::string request = describeRequest(*job.request);
    std::unique_ptr<MessageBody> answer;
    try {
        std::lock_guard lock(m_executeMutex);
        answer = job.request->getBody()->execute();
    } catch (const std::exception &e) {
        const std::string text = "request " + request + " failed: " + clipForLog(e.what());
        m_log.write(AgentLog::Level::Error, connection.name() + ": " + text);
        sendLogRecord(connection, {AgentLog::Level::Error, text});
        return;
    }
    if (!answer) {
        logIgnored(connection, "request " + request + " has no answer");
        return;
    }
    std::string bytes;
    try {
        Message response(PROTOCOL_VERSION, "S", job.request->getSequence(), std::move(answer));
        bytes = response.encode();
    } catch (const std::exception &e) {
        const std::string text =
            "the answer to " + request + " cannot be encoded: " + clipForLog(e.what());
        m_log.write(AgentLog::Level::Error, connection.name() + ": " + text);
        sendLogRecord(connection, {AgentLog::Level::Error, text});
        return;
    }
    if (send(connection, bytes))
        m_log.write(AgentLog::Level::Debug, connection.name() + ": answered " + request);
}

} // namespace tarvo
