// The client socket an agent connection runs on: non-blocking, its events delivered on the
// GUI thread. The real one is an EpollAgentSocket (all of them on one epoll set); tests script one.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tarvo {

class AgentSocket
{
public:
    // Called on the GUI thread. `connected` and `error` never run inside open(); `disconnected`
    // runs inside close() when the socket was connected, and when the peer closes.
    struct Events
    {
        std::function<void()> connected;
        std::function<void()> readyRead;
        std::function<void()> disconnected;
        // The failure's POSIX errno (111 for a refused connection).
        std::function<void(int code)> error;
    };

    virtual ~AgentSocket() = default;

    virtual void setEvents(Events events) = 0;
    // Starts connecting to host:port; a connection still being made is dropped first.
    virtual void open(const std::string &host, int port) = 0;
    // True while connected.
    virtual bool isActive() const = 0;
    // Everything received and not read yet.
    virtual std::string readAll() = 0;
    // While paused the socket takes nothing more from the system, so a sender that outruns
    // its reader is held back by TCP instead of filling the reader's memory.
    virtual void pauseReading(bool paused) { (void)paused; }
    // Queues the bytes for sending; the failure's message when the socket cannot take them.
    virtual std::optional<std::string> write(std::string_view bytes) = 0;
    // Closes at once (unsent bytes are dropped); `disconnected` follows when it was connected.
    virtual void close() = 0;
    // Forgets the events and drops the connection without telling anybody: the socket of a
    // connection that has been replaced.
    virtual void detach() = 0;
};

} // namespace tarvo
