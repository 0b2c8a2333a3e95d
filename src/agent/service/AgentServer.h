// The agent's network service: listens, checks ACCESS_CONTROL and the client limits, reads
// and writes each client on its own thread, executes requests one at a time (within the
// rate limits, the rarely asking client first) and answers, sends heartbeats and log records.
#pragma once

#include "agent/service/ConnectionLimits.h"
#include "agent/service/RequestScheduler.h"
#include "agent/service/ServiceLog.h"
#include "agent/service/ServiceTimings.h"

#include "platform/Socket.h"
#include "protocol/Message.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tarvo {

class FrameReader;

struct ServiceSettings
{
    std::string bindAddress; // empty: every address (IPv6 and IPv4)
    int port = 10012;        // 0: any free port
    std::vector<std::string> accessControl;
    // False when ACCESS_CONTROL could not be read: every client is refused then, since
    // accepting everyone would open a host its operator meant to close.
    bool accessControlValid = true;
    // Time rules and client limits.
    ServiceTimings timings;
};

class AgentServer
{
public:
    // Called every `timings.watch` while holding the execution lock (so it may use the
    // agent configuration); the events it returns are logged and sent to every client.
    using Watch = std::function<std::vector<LogEvent>()>;

    AgentServer(ServiceSettings settings, ServiceLog &log);
    ~AgentServer();
    AgentServer(const AgentServer &) = delete;
    AgentServer &operator=(const AgentServer &) = delete;

    void setWatch(Watch watch) { m_watch = std::move(watch); }
    // A problem every new client is told about at once (the configuration that did not
    // load); empty for none. Thread-safe.
    void setStandingProblem(std::string text);

    // Binds, listens and starts the threads. Returns an error text, empty on success.
    std::string start();
    // The port actually listened on (after start).
    int port() const { return m_port; }
    // Asks the service to stop; async-signal-safe.
    void requestStop();
    // Blocks until a stop is requested.
    void waitForStopRequest();
    // Stops and joins every thread, closes every connection. Idempotent.
    void stop();

    // Logs the event and sends it to every client as a log record.
    void broadcast(const LogEvent &event);
    size_t clientCount() const;

private:
    struct Connection;
    struct Job
    {
        std::shared_ptr<Connection> connection;
        std::unique_ptr<Message> request;
    };

    void acceptLoop();
    void readerLoop(std::shared_ptr<Connection> connection);
    void readConnection(const std::shared_ptr<Connection> &connection);
    // The reader's steps. Hands whole messages on; false once the connection is closed.
    bool deliverMessages(const std::shared_ptr<Connection> &connection, FrameReader &frames);
    enum class TimeRule { Broken, HeartbeatDue, Wait };
    // Closes a connection that broke a time rule (Broken); else says whether a heartbeat is
    // due, whether bytes wait to be written and how long the reader may wait.
    TimeRule applyTimeRules(Connection &connection, bool partial, bool &writing,
                            std::chrono::milliseconds &wait);
    // One wait for the socket, the wake-up and the stop, then what the socket takes and
    // gives; false when the reader is to end.
    bool waitAndTransfer(Connection &connection, FrameReader &frames, bool reading,
                         bool writing, std::chrono::milliseconds wait);
    bool receiveInto(Connection &connection, FrameReader &frames);
    void workerLoop();
    // The next request whose turn it is, waiting for one; false when the worker is to stop.
    bool nextJob(Job &job);
    void watchLoop();
    void handleMessage(const std::shared_ptr<Connection> &connection,
                       std::unique_ptr<Message> message);
    void execute(Job &job);
    // Admits a newcomer from `peer` (closing the connection it displaces), or returns why
    // it is refused.
    std::string admit(const std::string &peer);
    void logRefusal(const std::string &peer, const std::string &reason);
    // Logs what a connection sent that the agent does not act on, a few times per connection.
    void logIgnored(Connection &connection, const std::string &what);
    // Queues bytes for the client and writes what its socket takes now; never blocks.
    // False when the connection is closed (or closes because its queue grew too long).
    bool send(Connection &connection, const std::string &bytes);
    // Writes queued bytes until the socket takes no more; the write lock is held.
    void writeQueued(Connection &connection);
    bool sendLogRecord(Connection &connection, const LogEvent &event);
    void closeConnection(Connection &connection, const std::string &why);
    void reapFinished();

    ServiceSettings m_settings;
    ServiceLog &m_log;
    Watch m_watch;
    Socket m_listening;
    // Created with the server, so that a stop requested (by a signal) before start() is
    // not lost.
    WakeUp m_stop;
    int m_port = 0;
    bool m_started = false;
    bool m_stopped = false;
    std::atomic<long> m_logNumber = 0;
    std::atomic<int> m_nextId = 1;
    RefusalLog m_refusals; // the accepting thread's

    mutable std::mutex m_connectionsMutex;
    std::vector<std::shared_ptr<Connection>> m_connections;
    std::string m_standingProblem;

    // Requests waiting for execution, per connection id, and whose turn it is.
    std::mutex m_queueMutex;
    std::condition_variable m_queueChanged;
    std::map<int, std::deque<Job>> m_waiting;
    RequestScheduler m_scheduler;
    bool m_workerStop = false;

    // One request executes at a time across all connections; the watch takes it too.
    std::mutex m_executeMutex;

    std::thread m_acceptThread;
    std::thread m_workerThread;
    std::thread m_watchThread;
};

} // namespace tarvo
