// One console per user: a lock file, and a local server through which a second start asks
// the running console to come to the front.
#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

namespace tarvo {

class SingleInstance : public QObject
{
    Q_OBJECT
public:
    // `name` names both the lock file (in `lockDirectory`) and the local server.
    SingleInstance(const QString &name, const QString &lockDirectory, QObject *parent = nullptr);
    ~SingleInstance() override;

    // Takes the lock and starts listening; false when another instance holds it.
    bool acquire();
    // Asks the instance that holds the lock to restore and raise its window; waits at most
    // `timeoutMs` for the request to be delivered. False when nobody answered.
    bool notifyRunning(int timeoutMs = 2000) const;

    QString lockFilePath() const { return lockPath; }

signals:
    // A second start asked this instance to show itself.
    void activationRequested();

private:
    void acceptConnection();

    QString name;
    QString lockPath;
    std::unique_ptr<QLockFile> lock;
    std::unique_ptr<QLocalServer> server;
};

// The default lock name: per user, so that two operators on one machine do not collide.
QString defaultInstanceName(const QString &base);

} // namespace tarvo
