// The agent socket over QTcpSocket.
#pragma once

#include "comm/AgentSocket.h"

#include <QAbstractSocket>

#include <memory>

class QTcpSocket;

namespace tarvo {

class QtAgentSocket : public AgentSocket
{
public:
    QtAgentSocket();
    ~QtAgentSocket() override;

    void setEvents(Events events) override;
    void open(const std::string &host, int port) override;
    bool isActive() const override;
    std::string readAll() override;
    std::optional<std::string> write(std::string_view bytes) override;
    void close() override;
    void detach() override;

    // The POSIX errno that a socket error stands for; 0 for a peer that closed normally
    // (that is no error: the disconnect reports it).
    static int errnoOf(QAbstractSocket::SocketError error, const QString &message);

private:
    std::unique_ptr<QTcpSocket> socket;
    Events events;
};

} // namespace tarvo
