// TMMSocketProcessor: the console's connection to the agent of one host. It opens the socket,
// writes messages and counts them, hands what arrives to its owner for framing and keeps the
// unconsumed tail, closes an agent that has been silent for 40 s, and refuses a new open
// within 3 s of the previous open or close.
#pragma once

#include "comm/AgentSocket.h"

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

class QObject;

namespace tarvo {

// What the connection calls back into: the main window's agent links.
class AgentConnectionOwner
{
public:
    virtual ~AgentConnectionOwner() = default;
    // A result of processReceived that tells the connection to drop everything it holds.
    static constexpr int kDiscardAll = std::numeric_limits<int>::max();

    // Frames and handles messages from the front of `text`; returns how many bytes it used.
    // It may stop before the end of whole messages (one connection gets a share of the event
    // loop at a time) and then calls the connection's handOverAgain().
    virtual int processReceived(const std::string &channelIP, std::string_view text) = 0;
    virtual void agentConnected(const std::string &channelIP) = 0;
    virtual void agentDisconnected(const std::string &channelIP, const std::string &reason) = 0;
    // The console log file only.
    virtual void connectionLog(const std::string &text) = 0;
    // The console log file and the error list.
    virtual void connectionEvent(const std::string &text) = 0;
    virtual bool isDebugLogging() const = 0;
};

// The current time as milliseconds since 1970, with the millisecond part.
double wallClockMs();

// How connections are made; tests replace the socket and the clock.
struct ConnectionSettings
{
    std::function<std::unique_ptr<AgentSocket>()> makeSocket; // null: an EpollAgentSocket
    std::function<double()> nowMs;                            // null: wallClockMs
    int timeoutMs = 40000;                                    // silence before closing
};

class TMMSocketProcessor
{
public:
    // Unconsumed bytes beyond which the connection stops reading until it has handled them.
    static constexpr size_t kBacklogBytes = 64 * 1024;
    static constexpr int kTimeoutMs = 40000;
    static constexpr int kReconnectGuardMs = 3000;

    using Settings = ConnectionSettings;

    // Opens at once; the connection completes later through the socket's events. Errors
    // (a port that is no number) end in fail(); the constructor does not throw.
    TMMSocketProcessor(std::string channelIP, AgentConnectionOwner &owner, std::string port,
                       Settings settings = {});
    ~TMMSocketProcessor();
    TMMSocketProcessor(const TMMSocketProcessor &) = delete;
    TMMSocketProcessor &operator=(const TMMSocketProcessor &) = delete;

    // True while the socket is connected.
    bool isOpen() const;
    // Writes one encoded message. On success counts it and notes the time; a socket failure
    // is logged ("send message failed.") and returns false.
    bool send(const std::string &text);
    // Opens again, unless open already or within 3 s of the last open or close (then the
    // error list says so).
    void reconnect(const std::string &portText);
    // Closes an open connection; the disconnect callback runs before this returns.
    void disconnect();
    // The common error exit: logs "Exception:" + message and closes an open connection.
    void fail(const std::string &message);
    // Drops the socket's events and the connection silently (the connection was replaced).
    void abandon();

    const std::string &getChannelIP() const { return channelIP; }
    const std::string &getPort() const { return port; }
    int32_t getSentCount() const { return sentCount; }
    double getLastSendTime() const { return lastSendTime; }
    double getLastConnectAttempt() const { return lastConnectAttempt; }
    bool isFailed() const { return failed; }
    // The errno of the socket's last failure since the last open or reconnect; 0: none.
    int getLastError() const { return lastError; }
    bool isConnectRequested() const { return connectRequested; }
    const std::string &getPending() const { return pending; }
    bool isTimeoutRunning() const;

    // Socket and timer callbacks; public so that tests can drive them.
    void onConnect();
    void onRead();
    // Hands over again what the last read left unconsumed, without reading (a pass of the
    // event loop after a read that was not taken in full calls it).
    void onBacklog();
    // Called by the owner inside processReceived when it stopped before the end of whole
    // messages: the rest is handed over again at the next pass of the event loop.
    void handOverAgain() { moreWaiting = true; }
    void onDisconnect();
    void onError(int code);
    void onTimeout();

private:
    double now() const;
    double activityNow() const;
    void startSilenceCount();
    static int portNumber(const std::string &text);
    void takeMessages(std::string text);
    // The whole messages still waiting when the agent closed, handled before its disconnect.
    void takeLeftOver();

    std::unique_ptr<AgentSocket> socket;
    std::string pending;
    // The silence timer: this connection's deadline among those of one timer that every
    // connection shares (one timer per connection made each restart cost a walk of all).
    void startSilenceTimer(int ms);
    void stopSilenceTimer();
    bool silenceTimerMade = false;  // a connection whose open threw has none
    bool silenceTimerRunning = false;
    std::pair<double, std::uint64_t> silenceDeadline{};  // steady ms, then order of starting
    bool connectRequested = false;
    double lastConnectAttempt = 0;
    AgentConnectionOwner &owner;
    std::string channelIP;
    std::string port;
    int32_t sentCount = 0;
    bool failed = false;
    double lastSendTime = 0;
    Settings settings;
    int socketPort = 0;
    bool reading = false;
    bool closingHere = false;  // the console itself closes the connection
    double lastActivity = 0;  // last connect or read, on the silence clock
    int lastError = 0;
    // Owns the queued onBacklog call, which dies with the connection.
    std::unique_ptr<QObject> backlogContext;
    bool backlogQueued = false;
    bool moreWaiting = false;
};

} // namespace tarvo
