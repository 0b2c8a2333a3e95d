// The agent service's door: accepting a client, ACCESS_CONTROL, the client limits and the
// rate-limited log of refusals, and the start of each client's reader.
#include "agent/service/AgentServerConnection.h"

#include "agent/service/AccessControl.h"
#include "agent/service/ConnectionLimits.h"

#include <exception>

namespace tarvo {

std::string AgentServer::admit(const std::string &peer)
{
    std::vector<OpenConnection> open;
    std::vector<std::shared_ptr<Connection>> connections;
    {
        std::lock_guard lock(m_connectionsMutex);
        connections = m_connections;
    }
    const auto now = ServiceClock::now();
    for (const auto &connection : connections)
        if (!connection->closed)
            open.push_back({connection->id, connection->peer, connection->spoken,
                            connection->timer.quietFor(now), connection->pending > 0});
    const Admission admission = decideAdmission(open, peer, m_settings.timings);
    if (admission.kind == Admission::Kind::Refuse)
        return admission.refusal;
    if (admission.kind == Admission::Kind::Displace)
        for (const auto &connection : connections)
            if (connection->id == admission.victim)
                closeConnection(*connection, admission.why);
    return {};
}

void AgentServer::logRefusal(const std::string &peer, const std::string &reason)
{
    if (std::optional<std::string> line = m_refusals.refused(peer, reason, ServiceClock::now()))
        m_log.write(AgentLog::Level::Warning, *line);
}

void AgentServer::acceptLoop()
{
    for (;;) {
        PollEntry fds[2] = {PollEntry::of(m_listening, POLL_READABLE), PollEntry::of(m_stop)};
        std::string pollError;
        int ready = pollSockets(fds, 2, 500, pollError);
        reapFinished();
        for (const std::string &line : m_refusals.due(ServiceClock::now()))
            m_log.write(AgentLog::Level::Warning, line);
        if (fds[1].ready)
            return;
        if (ready <= 0 || !(fds[0].ready & POLL_READABLE))
            continue;
        Accepted accepted = acceptConnection(m_listening);
        if (accepted.status != Accepted::Status::Accepted) {
            if (accepted.status == Accepted::Status::OutOfResources) {
                m_log.write(AgentLog::Level::Error, "cannot accept a client: " + accepted.error);
                PollEntry stop = PollEntry::of(m_stop);
                pollSockets(&stop, 1, 200, pollError);
            }
            continue;
        }
        const std::string peer = accepted.peer;
        std::string refusal;
        if (!m_settings.accessControlValid)
            refusal = "ACCESS_CONTROL of the configuration cannot be read, every client is refused";
        else if (!isAllowed(m_settings.accessControl, peer))
            refusal = "not in ACCESS_CONTROL (allowed: " +
                      describeAllowed(m_settings.accessControl) + ")";
        else
            refusal = admit(peer);
        if (!refusal.empty()) {
            logRefusal(peer, refusal);
            accepted.socket.close();
            continue;
        }
        accepted.socket.setNoDelay();

        std::shared_ptr<Connection> connection;
        try {
            connection = std::make_shared<Connection>(m_nextId++, std::move(accepted.socket), peer,
                                                      m_settings.timings);
        } catch (const std::exception &e) {
            m_log.write(AgentLog::Level::Error, "cannot serve " + peer + ": " + e.what());
            continue;
        }
        m_log.write(AgentLog::Level::Info, connection->name() + " accepted");
        // Registered before anything is sent, so no broadcast passes it by.
        std::string problem;
        {
            std::lock_guard lock(m_connectionsMutex);
            m_connections.push_back(connection);
            problem = m_standingProblem;
        }
        if (!problem.empty())
            sendLogRecord(*connection, {AgentLog::Level::Error, problem});
        try {
            // Out of threads the agent refuses this client and keeps serving the others.
            connection->reader = std::thread([this, connection] { readerLoop(connection); });
        } catch (const std::exception &e) {
            closeConnection(*connection, std::string("cannot start its reader: ") + e.what());
            connection->finished = true;
        }
    }
}

} // namespace tarvo
