// The single-instance lock and the hand-over to the running console.
#include "app/SingleInstance.h"

#include <QDir>
#include <QLocalSocket>

#include <unistd.h>

namespace tarvo {

namespace {
const QByteArray kActivate = "activate\n";
}

QString defaultInstanceName(const QString &base)
{
    return base + QStringLiteral("-") + QString::number(::getuid());
}

SingleInstance::SingleInstance(const QString &name, const QString &lockDirectory, QObject *parent)
    : QObject(parent), name(name),
      lockPath(QDir(lockDirectory).filePath(name + QStringLiteral(".lock")))
{
}

SingleInstance::~SingleInstance()
{
    if (server)
        server->close();
}

bool SingleInstance::acquire()
{
    lock = std::make_unique<QLockFile>(lockPath);
    // A lock left by a crashed console is taken over (QLockFile checks the owner's pid).
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0)) {
        lock.reset();
        return false;
    }
    server = std::make_unique<QLocalServer>();
    server->setSocketOptions(QLocalServer::UserAccessOption);
    // We hold the lock, so a socket of that name is a leftover of a crashed console.
    QLocalServer::removeServer(name);
    if (server->listen(name))
        connect(server.get(), &QLocalServer::newConnection, this, &SingleInstance::acceptConnection);
    return true;
}

void SingleInstance::acceptConnection()
{
    while (QLocalSocket *socket = server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        auto readRequest = [this, socket] {
            if (socket->bytesAvailable() <= 0)
                return;
            if (socket->readAll().contains(kActivate.trimmed()))
                emit activationRequested();
            socket->disconnectFromServer();
        };
        connect(socket, &QLocalSocket::readyRead, this, readRequest);
        readRequest();
    }
}

bool SingleInstance::notifyRunning(int timeoutMs) const
{
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.write(kActivate);
    if (!socket.waitForBytesWritten(timeoutMs))
        return false;
    socket.disconnectFromServer();
    return true;
}

} // namespace tarvo
