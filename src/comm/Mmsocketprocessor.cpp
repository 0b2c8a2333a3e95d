// The agent connection: open, send, read with the kept tail, silence time-out, reconnect guard.
#include "comm/Mmsocketprocessor.h"

#include "comm/EpollAgentSocket.h"
#include "protocol/Convert.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <map>
#include <stdexcept>

namespace tarvo {

double wallClockMs()
{
    using namespace std::chrono;
    return double(duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count());
}

namespace {

// Silence is measured on a clock that does not jump when the wall clock is set.
double steadyMs()
{
    using namespace std::chrono;
    return double(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// The deadlines of the silence timers of all connections, behind one QTimer set for the
// earliest. All connections live on one thread.
class SilenceWatch
{
public:
    using Key = std::pair<double, std::uint64_t>;

    static SilenceWatch &instance()
    {
        static SilenceWatch watch;
        return watch;
    }

    Key add(TMMSocketProcessor *connection, int ms)
    {
        const Key key{steadyMs() + ms, ++started};
        deadlines.emplace(key, connection);
        if (deadlines.begin()->first == key)
            arm();
        return key;
    }

    void remove(const Key &key)
    {
        deadlines.erase(key);
        if (deadlines.empty() && timer)
            timer->stop();
    }

    // Fires every deadline that has come; a handler may start, stop or destroy connections.
    template <typename Fire>
    void expire(const Fire &fire)
    {
        while (!deadlines.empty() && deadlines.begin()->first.first <= steadyMs()) {
            TMMSocketProcessor *connection = deadlines.begin()->second;
            deadlines.erase(deadlines.begin());
            fire(*connection);
        }
        if (!deadlines.empty())
            arm();
    }

private:
    void arm();

    std::map<Key, TMMSocketProcessor *> deadlines;
    std::uint64_t started = 0;
    QPointer<QTimer> timer;  // owned by the application object, made when first needed
};

} // namespace

void SilenceWatch::arm()
{
    if (!timer) {
        timer = new QTimer(QCoreApplication::instance());
        timer->setSingleShot(true);
        QObject::connect(timer.data(), &QTimer::timeout, [this] {
            // Every way through onTimeout starts the count again or stops it.
            expire([](TMMSocketProcessor &connection) { connection.onTimeout(); });
        });
    }
    const double wait = std::ceil(deadlines.begin()->first.first - steadyMs());
    timer->start(int(std::clamp(wait, 0.0, double(std::numeric_limits<int>::max()))));
}

void TMMSocketProcessor::startSilenceTimer(int ms)
{
    if (!silenceTimerMade)
        return;
    stopSilenceTimer();
    silenceDeadline = SilenceWatch::instance().add(this, ms);
    silenceTimerRunning = true;
}

void TMMSocketProcessor::stopSilenceTimer()
{
    if (!silenceTimerRunning)
        return;
    SilenceWatch::instance().remove(silenceDeadline);
    silenceTimerRunning = false;
}

TMMSocketProcessor::TMMSocketProcessor(std::string ip, AgentConnectionOwner &connectionOwner,
                                       std::string portText, Settings connectionSettings)
    : owner(connectionOwner), channelIP(std::move(ip)), port(std::move(portText)),
      settings(std::move(connectionSettings)), backlogContext(std::make_unique<QObject>())
{
    try {
        socket = settings.makeSocket ? settings.makeSocket() : std::make_unique<EpollAgentSocket>();
        socket->setEvents({
            [this] { onConnect(); },
            [this] { onRead(); },
            [this] { onDisconnect(); },
            [this](int code) { onError(code); },
        });
        socketPort = portNumber(port);
        connectRequested = true;
        failed = false;
        socket->open(channelIP, socketPort);
        lastConnectAttempt = now();
        silenceTimerMade = true;
    } catch (const std::exception &e) {
        fail(e.what());
    }
}

TMMSocketProcessor::~TMMSocketProcessor()
{
    stopSilenceTimer();
    if (socket)
        socket->detach();
}

double TMMSocketProcessor::now() const
{
    return settings.nowMs ? settings.nowMs() : wallClockMs();
}

double TMMSocketProcessor::activityNow() const
{
    return settings.nowMs ? settings.nowMs() : steadyMs();
}

void TMMSocketProcessor::startSilenceCount()
{
    lastActivity = activityNow();
    startSilenceTimer(settings.timeoutMs);
}

int TMMSocketProcessor::portNumber(const std::string &text)
{
    const std::optional<int32_t> number = tryToInt(text);
    if (!number)
        throw std::invalid_argument("'" + text + "' is not a valid integer value");
    if (*number < 1 || *number > 65535)
        throw std::out_of_range("'" + text + "' is not a valid port number");
    return *number;
}

bool TMMSocketProcessor::isOpen() const { return socket && socket->isActive(); }

bool TMMSocketProcessor::isTimeoutRunning() const
{
    return silenceTimerRunning;
}

bool TMMSocketProcessor::send(const std::string &text)
{
    if (owner.isDebugLogging())
        owner.connectionLog("[To: " + channelIP + "]sending:" + text);
    if (!socket)
        throw std::logic_error("connection has no socket");
    if (std::optional<std::string> failure = socket->write(text)) {
        owner.connectionLog("[To: " + channelIP + "]send message failed." + *failure);
        return false;
    }
    ++sentCount;
    lastSendTime = now();
    return true;
}

void TMMSocketProcessor::onRead()
{
    if (!isOpen() || reading)
        return;
    // A read handler may close the connection; the flag keeps a nested event from reading.
    reading = true;
    try {
        // The silence count starts again with every read. The timer is not restarted here:
        // with thousands of connections that costs more than the rest of the read, so its
        // tick checks the time of the last read instead.
        lastActivity = activityNow();
        std::string text = socket->readAll();
        if (owner.isDebugLogging())
            owner.connectionLog("[From: " + channelIP + "]received:" + text);
        if (!pending.empty()) {
            text.insert(0, pending);
            pending.clear();
        }
        takeMessages(std::move(text));
    } catch (const std::exception &e) {
        failed = true;
        fail(e.what());
    }
    reading = false;
}

void TMMSocketProcessor::onBacklog()
{
    backlogQueued = false;
    if (!isOpen() || reading || pending.empty())
        return;
    reading = true;
    try {
        std::string text;
        text.swap(pending);
        takeMessages(std::move(text));
    } catch (const std::exception &e) {
        failed = true;
        fail(e.what());
    }
    reading = false;
}

void TMMSocketProcessor::takeMessages(std::string text)
{
    moreWaiting = false;
    const int consumed = owner.processReceived(channelIP, text);
    // Whatever is left may still become a message, however much was used before it. The
    // bytes of a connection that was closed while they were handled belong to no message of
    // the next connection: they are dropped with it.
    if (consumed != AgentConnectionOwner::kDiscardAll && consumed >= 0 &&
        size_t(consumed) < text.size() && isOpen())
        pending.assign(text, size_t(consumed), std::string::npos);
    if (!isOpen())
        return;
    // Whole messages may wait behind those handled: they get the next pass of the loop, and
    // while many bytes wait nothing more is read.
    socket->pauseReading(pending.size() >= kBacklogBytes);
    if (moreWaiting && !pending.empty() && !backlogQueued) {
        backlogQueued = true;
        QTimer::singleShot(0, backlogContext.get(), [this] { onBacklog(); });
    }
}

void TMMSocketProcessor::onConnect()
{
    try {
        if (!isOpen())
            return;
        owner.agentConnected(channelIP);
        if (isOpen())
            startSilenceCount();
    } catch (const std::exception &e) {
        failed = true;
        owner.connectionLog(e.what());
        fail(e.what());
    }
}

void TMMSocketProcessor::takeLeftOver()
{
    if (reading)
        return;
    reading = true;
    try {
        while (!pending.empty()) {
            std::string text;
            text.swap(pending);
            moreWaiting = false;
            const int consumed = owner.processReceived(channelIP, text);
            if (consumed <= 0 || consumed == AgentConnectionOwner::kDiscardAll ||
                size_t(consumed) >= text.size() || !moreWaiting)
                break;  // what is left is no whole message
            pending.assign(text, size_t(consumed), std::string::npos);
        }
    } catch (const std::exception &e) {
        owner.connectionLog("Exception:" + std::string(e.what()));
    }
    reading = false;
}

void TMMSocketProcessor::onDisconnect()
{
    connectRequested = false;
    stopSilenceTimer();
    // Messages the agent sent before it closed are still its answers: those that waited for
    // a later pass of the loop are handled before the disconnect is told. A connection the
    // console closes drops them (they belong to no later connection).
    if (!closingHere)
        takeLeftOver();
    pending.clear();
    owner.agentDisconnected(channelIP, "Disconnected");
}

void TMMSocketProcessor::onError(int code)
{
    lastError = code;
    owner.connectionEvent("网络错误,错误号:" + std::to_string(code));
}

void TMMSocketProcessor::onTimeout()
{
    if (!isOpen()) {
        stopSilenceTimer();
        return;
    }
    const double quiet = std::max(0.0, activityNow() - lastActivity);
    if (quiet < settings.timeoutMs) {
        // Something arrived since the count started: wait for the rest of the 40 s.
        startSilenceTimer(std::max(1, int(settings.timeoutMs - quiet)));
        return;
    }
    stopSilenceTimer();
    fail("Agent连接超时");
}

void TMMSocketProcessor::fail(const std::string &message)
{
    owner.connectionLog("Exception:" + message);
    if (isOpen()) {
        closingHere = true;
        socket->close();
        closingHere = false;
        pending.clear();
    }
}

void TMMSocketProcessor::reconnect(const std::string &portText)
{
    if (connectRequested && isOpen())
        return;
    const double at = now();
    if (std::trunc(std::fabs(at - lastConnectAttempt)) < kReconnectGuardMs) {
        owner.connectionEvent("报盘机[Ip:" + channelIP + "]请勿短时间重复连接");
        return;
    }
    try {
        lastConnectAttempt = at;
        lastError = 0;
        socketPort = portNumber(portText);
        port = portText;
        connectRequested = true;
        if (!socket)
            throw std::logic_error("connection has no socket");
        socket->open(channelIP, socketPort);
    } catch (const std::exception &e) {
        failed = true;
        fail(e.what());
    }
}

void TMMSocketProcessor::disconnect()
{
    if (!isOpen())
        return;
    lastConnectAttempt = now();
    closingHere = true;
    socket->close();
    closingHere = false;
    pending.clear();
}

void TMMSocketProcessor::abandon()
{
    stopSilenceTimer();
    if (socket)
        socket->detach();
    pending.clear();
}

} // namespace tarvo
