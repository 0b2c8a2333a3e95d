// The console's agent sockets on one epoll set. Qt's event loop polls every socket notifier it
// has at every wake-up, and registering or dropping one walks all the others: with thousands
// of agents that is most of the console's work. Here the loop watches a single descriptor,
// the epoll set, and each wake-up costs only the sockets that have something to say.
#pragma once

#include "comm/AgentSocket.h"
#include "platform/Socket.h"

#include <QObject>

#include <cstdint>
#include <memory>
#include <string>

namespace tarvo {

class EpollAgentSocket final : public AgentSocket
{
public:
    EpollAgentSocket();
    ~EpollAgentSocket() override;
    EpollAgentSocket(const EpollAgentSocket &) = delete;
    EpollAgentSocket &operator=(const EpollAgentSocket &) = delete;

    void setEvents(Events events) override;
    void open(const std::string &host, int port) override;
    bool isActive() const override;
    std::string readAll() override;
    void pauseReading(bool paused) override;
    std::optional<std::string> write(std::string_view bytes) override;
    void close() override;
    void detach() override;

    // What the epoll set reported for this socket (the set's dispatcher calls it).
    void handle(uint32_t epollEvents);

    // Bytes accepted by write() and not yet taken by the system.
    size_t bytesToWrite() const { return output.size(); }

    // The most bytes one pass of the event loop takes from one socket: a peer that sends
    // without pause gets its share of the loop and no more.
    static constexpr size_t kReadBudget = 64 * 1024;

private:
    enum class State { Idle, Connecting, Connected };

    void watch(bool add);
    void dropDescriptor();
    void reportLater(int code);
    void finishConnect();
    void readAvailable();
    void flush();
    int fd() const { return static_cast<int>(socket.handle()); }

    Socket socket;
    State state = State::Idle;
    Events events;
    std::string input;
    std::string output;
    bool writeArmed = false;
    bool readPaused = false;
    uint64_t key = 0;
    // Cleared when the socket goes, so that a callback that destroyed it is noticed.
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);
    // Owns the queued reports (a refused connection, say): they die with the socket.
    QObject context;
};

} // namespace tarvo
