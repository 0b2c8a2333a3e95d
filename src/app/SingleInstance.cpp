// The single-instance lock and the hand-over to the running console.
#include "app/SingleInstance.h"

#include <QCoreApplication>
#include <QDir>
#include <QLocalSocket>

#include <set>
#include <unistd.h>

namespace tarvo {

namespace {
const QByteArray kActivate = "activate\n";

// The lock files this process holds.
std::set<QString> &heldLocks()
{
    static std::set<QString> held;
    return held;
}
} // namespace

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
    if (lock)
        heldLocks().erase(lockPath);
}

bool SingleInstance::acquire()
{
    lock = std::make_unique<QLockFile>(lockPath);
    // A lock left by a crashed console is taken over (QLockFile checks the owner's pid).
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0)) {
        // A lock file naming this very process, which does not hold it, was left by an earlier
        // console killed outright whose process number came round again (process numbers
        // wrap around on a busy machine): QLockFile sees its owner alive, and the console
        // would refuse to start until somebody removed the file.
        qint64 pid = 0;
        if (!lock->getLockInfo(&pid, nullptr, nullptr) ||
            pid != QCoreApplication::applicationPid() || heldLocks().count(lockPath) > 0 ||
            !lock->removeStaleLockFile() || !lock->tryLock(0)) {
            lock.reset();
            return false;
        }
    }
    heldLocks().insert(lockPath);
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
