// QTcpSocket behind the agent connection; Qt's socket errors become errno values.
#include "comm/QtAgentSocket.h"

#include <QTcpSocket>

#include <cerrno>
#include <utility>

namespace tarvo {

QtAgentSocket::QtAgentSocket() : socket(std::make_unique<QTcpSocket>())
{
    // Connected and error are queued: a loopback connect may finish inside connectToHost,
    // and the connection must be stored before it hears of it. A close must be reported
    // before close() returns, so disconnected is direct.
    QObject::connect(socket.get(), &QTcpSocket::connected, socket.get(), [this] {
        if (events.connected && socket->state() == QAbstractSocket::ConnectedState)
            events.connected();
    }, Qt::QueuedConnection);
    QObject::connect(socket.get(), &QTcpSocket::readyRead, socket.get(), [this] {
        if (events.readyRead)
            events.readyRead();
    });
    QObject::connect(socket.get(), &QTcpSocket::disconnected, socket.get(), [this] {
        if (events.disconnected)
            events.disconnected();
    });
    QObject::connect(socket.get(), &QTcpSocket::errorOccurred, socket.get(),
                     [this](QAbstractSocket::SocketError error) {
        const int code = errnoOf(error, socket->errorString());
        if (code != 0 && events.error)
            events.error(code);
    }, Qt::QueuedConnection);
}

QtAgentSocket::~QtAgentSocket()
{
    // Nothing may call back into a connection that is going away.
    events = {};
    socket->disconnect();
    socket->abort();
}

void QtAgentSocket::setEvents(Events newEvents) { events = std::move(newEvents); }

void QtAgentSocket::open(const std::string &host, int port)
{
    if (socket->state() != QAbstractSocket::UnconnectedState) {
        const Events kept = std::exchange(events, {});
        socket->abort();
        events = kept;
    }
    socket->connectToHost(QString::fromStdString(host), quint16(port));
}

bool QtAgentSocket::isActive() const
{
    return socket->state() == QAbstractSocket::ConnectedState;
}

std::string QtAgentSocket::readAll()
{
    const QByteArray bytes = socket->readAll();
    return std::string(bytes.constData(), size_t(bytes.size()));
}

std::optional<std::string> QtAgentSocket::write(std::string_view bytes)
{
    if (socket->state() != QAbstractSocket::ConnectedState)
        return std::string("Socket is not connected");
    const qint64 written = socket->write(bytes.data(), qint64(bytes.size()));
    if (written != qint64(bytes.size()))
        return socket->errorString().toStdString();
    return std::nullopt;
}

void QtAgentSocket::close() { socket->abort(); }

void QtAgentSocket::detach()
{
    events = {};
    socket->abort();
}

int QtAgentSocket::errnoOf(QAbstractSocket::SocketError error, const QString &message)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return ECONNREFUSED;
    case QAbstractSocket::RemoteHostClosedError:
        return 0;
    case QAbstractSocket::HostNotFoundError:
        return EHOSTUNREACH;
    case QAbstractSocket::SocketAccessError:
        return EACCES;
    case QAbstractSocket::SocketResourceError:
        return ENOBUFS;
    case QAbstractSocket::SocketTimeoutError:
        return ETIMEDOUT;
    case QAbstractSocket::AddressInUseError:
        return EADDRINUSE;
    case QAbstractSocket::SocketAddressNotAvailableError:
        return EADDRNOTAVAIL;
    case QAbstractSocket::NetworkError:
        // Qt folds several connect failures into this one; its message tells them apart.
        if (message.contains(QLatin1String("Host unreachable"), Qt::CaseInsensitive))
            return EHOSTUNREACH;
        if (message.contains(QLatin1String("timed out"), Qt::CaseInsensitive))
            return ETIMEDOUT;
        if (message.contains(QLatin1String("reset"), Qt::CaseInsensitive))
            return ECONNRESET;
        return ENETUNREACH;
    default:
        return EIO;
    }
}

} // namespace tarvo
