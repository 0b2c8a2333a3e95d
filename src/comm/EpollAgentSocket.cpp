// Non-blocking TCP client sockets on a shared epoll set, dispatched on the GUI thread.
#include "comm/EpollAgentSocket.h"

#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unordered_map>

namespace tarvo {

namespace {

// The process's epoll set of agent sockets and the one notifier that wakes the GUI thread for
// it. Made on first use on the GUI thread and kept until the process ends.
class EpollSet
{
public:
    static EpollSet &instance()
    {
        static EpollSet *set = new EpollSet;
        return *set;
    }

    int descriptor() const { return epollFd; }
    uint64_t add(EpollAgentSocket *socket)
    {
        const uint64_t key = ++lastKey;
        sockets.emplace(key, socket);
        return key;
    }
    void remove(uint64_t key) { sockets.erase(key); }

private:
    EpollSet() : epollFd(::epoll_create1(EPOLL_CLOEXEC))
    {
        if (epollFd < 0)
            throw std::runtime_error(std::string("epoll_create1 failed: ") + std::strerror(errno));
        notifier = new QSocketNotifier(epollFd, QSocketNotifier::Read);
        QObject::connect(notifier, &QSocketNotifier::activated, [this] { dispatch(); });
    }

    void dispatch()
    {
        // A few sockets per pass: the set is level-triggered, and what is left wakes the loop
        // again after the timers and the window have had their turn, so that a burst of
        // answers from thousands of agents never holds the loop for long.
        epoll_event ready[kBatch];
        const int n = ::epoll_wait(epollFd, ready, kBatch, 0);
        for (int i = 0; i < n; ++i) {
            // A socket that an earlier handler of this pass closed or destroyed is gone from
            // the table; its events are dropped.
            const auto found = sockets.find(ready[i].data.u64);
            if (found != sockets.end())
                found->second->handle(ready[i].events);
        }
    }

    static constexpr int kBatch = 32;
    int epollFd;
    QSocketNotifier *notifier = nullptr;
    std::unordered_map<uint64_t, EpollAgentSocket *> sockets;
    uint64_t lastKey = 0;
};

std::string errnoText(int code) { return std::strerror(code); }

} // namespace

EpollAgentSocket::EpollAgentSocket() = default;

EpollAgentSocket::~EpollAgentSocket()
{
    *alive = false;
    events = {};
    dropDescriptor();
}

void EpollAgentSocket::setEvents(Events newEvents) { events = std::move(newEvents); }

void EpollAgentSocket::watch(bool add)
{
    epoll_event event{};
    // Paused, the socket is not watched for input nor for the peer's close (both level-
    // triggered, they would wake the loop at every pass); it hears of them when it resumes.
    if (!readPaused)
        event.events = EPOLLRDHUP;
    if (state == State::Connecting || writeArmed)
        event.events |= EPOLLOUT;
    if (state == State::Connected && !readPaused)
        event.events |= EPOLLIN;
    event.data.u64 = key;
    ::epoll_ctl(EpollSet::instance().descriptor(), add ? EPOLL_CTL_ADD : EPOLL_CTL_MOD, fd(), &event);
}

void EpollAgentSocket::dropDescriptor()
{
    if (socket.valid()) {
        ::epoll_ctl(EpollSet::instance().descriptor(), EPOLL_CTL_DEL, fd(), nullptr);
        socket.close();
        EpollSet::instance().remove(key);
    }
    state = State::Idle;
    writeArmed = false;
    readPaused = false;
    input.clear();
    output.clear();
}

void EpollAgentSocket::reportLater(int code)
{
    // A failure found inside open() is told from the event loop, as a socket error would be.
    std::weak_ptr<bool> living = alive;
    QTimer::singleShot(0, &context, [this, living, code] {
        if (living.lock() && *living.lock() && events.error)
            events.error(code);
    });
}

void EpollAgentSocket::open(const std::string &host, int port)
{
    dropDescriptor();
    // A name is looked up (blocking, rare: the host list holds addresses).
    const std::optional<std::string> address = ipv4AddressOf(host);
    if (!address) {
        reportLater(EHOSTUNREACH);
        return;
    }
    Connecting connecting = startConnecting(*address, uint16_t(port));
    if (!connecting.socket.valid()) {
        reportLater(connecting.error);
        return;
    }
    socket = std::move(connecting.socket);
    key = EpollSet::instance().add(this);
    state = State::Connecting;
    // Even a connection made at once is reported from the loop: the socket is writable.
    watch(true);
}

bool EpollAgentSocket::isActive() const { return state == State::Connected; }

std::string EpollAgentSocket::readAll()
{
    std::string bytes;
    bytes.swap(input);
    return bytes;
}

void EpollAgentSocket::pauseReading(bool paused)
{
    if (paused == readPaused)
        return;
    readPaused = paused;
    if (state == State::Connected)
        watch(false);
}

std::optional<std::string> EpollAgentSocket::write(std::string_view bytes)
{
    if (state != State::Connected)
        return std::string("Socket is not connected");
    if (output.empty()) {
        const ssize_t n = ::send(fd(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return errnoText(errno);
        bytes.remove_prefix(n > 0 ? size_t(n) : 0);
        if (bytes.empty())
            return std::nullopt;
    }
    output.append(bytes);
    if (!writeArmed) {
        writeArmed = true;
        watch(false);
    }
    return std::nullopt;
}

void EpollAgentSocket::close()
{
    const bool wasConnected = state == State::Connected;
    dropDescriptor();
    if (wasConnected && events.disconnected)
        events.disconnected();
}

void EpollAgentSocket::detach()
{
    events = {};
    dropDescriptor();
}

void EpollAgentSocket::finishConnect()
{
    const int code = connectResult(socket);
    if (code == CONNECT_PENDING)
        return;
    if (code != 0) {
        dropDescriptor();
        if (events.error)
            events.error(code);
        return;
    }
    state = State::Connected;
    watch(false);
    if (events.connected)
        events.connected();
}

void EpollAgentSocket::flush()
{
    while (!output.empty()) {
        const ssize_t n = ::send(fd(), output.data(), output.size(), MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                return;
            return;  // the reading side hears of the failure and closes
        }
        output.erase(0, size_t(n));
    }
    writeArmed = false;
    watch(false);
}

void EpollAgentSocket::readAvailable()
{
    int failure = 0;
    bool ended = false;
    char chunk[65536];
    // What is left beyond the budget wakes the loop again at its next pass (level-triggered).
    while (input.size() < kReadBudget) {
        const size_t room = std::min(sizeof chunk, kReadBudget - input.size());
        const ssize_t n = ::recv(fd(), chunk, room, 0);
        if (n > 0) {
            input.append(chunk, size_t(n));
            continue;
        }
        if (n == 0)
            ended = true;
        else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            failure = errno;
        else if (errno == EINTR)
            continue;
        break;
    }
    const std::shared_ptr<bool> living = alive;
    if (!input.empty() && events.readyRead) {
        events.readyRead();
        if (!*living || state != State::Connected)
            return;
    }
    if (!ended && failure == 0)
        return;
    // The agent closed, or the connection broke: a reset is an error, a close is not.
    dropDescriptor();
    if (failure != 0 && failure != EPIPE && events.error) {
        events.error(failure);
        if (!*living)
            return;
    }
    if (events.disconnected)
        events.disconnected();
}

void EpollAgentSocket::handle(uint32_t epollEvents)
{
    const std::shared_ptr<bool> living = alive;
    if (state == State::Connecting) {
        if (epollEvents & (EPOLLOUT | EPOLLERR | EPOLLHUP))
            finishConnect();
        return;
    }
    if (state != State::Connected)
        return;
    if ((epollEvents & EPOLLOUT) && writeArmed) {
        flush();
        if (!*living || state != State::Connected)
            return;
    }
    if (readPaused)
        return;
    if (epollEvents & (EPOLLIN | EPOLLRDHUP | EPOLLHUP | EPOLLERR))
        readAvailable();
}

} // namespace tarvo
