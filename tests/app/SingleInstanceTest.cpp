// The single-instance lock and the hand-over to the running console.
#include "app/SingleInstance.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLockFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace tarvo {
namespace {

QString uniqueName()
{
    return QStringLiteral("TarvoMonitorTest-%1-%2")
        .arg(QCoreApplication::applicationPid())
        .arg(reinterpret_cast<quintptr>(&uniqueName));
}

TEST(SingleInstanceTest, SecondStartHandsOverToTheFirst)
{
    QTemporaryDir dir;
    const QString name = uniqueName();
    SingleInstance first(name, dir.path());
    ASSERT_TRUE(first.acquire());
    int activations = 0;
    QObject::connect(&first, &SingleInstance::activationRequested, [&] { ++activations; });

    SingleInstance second(name, dir.path());
    EXPECT_FALSE(second.acquire());
    EXPECT_TRUE(second.notifyRunning(1000));

    QElapsedTimer clock;
    clock.start();
    while (activations == 0 && clock.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(activations, 1);
}

TEST(SingleInstanceTest, LockIsFreeAgainAfterTheFirstEnds)
{
    QTemporaryDir dir;
    const QString name = uniqueName() + QStringLiteral("b");
    {
        SingleInstance first(name, dir.path());
        ASSERT_TRUE(first.acquire());
    }
    SingleInstance next(name, dir.path());
    EXPECT_TRUE(next.acquire());
}

// A console killed outright leaves its lock file; when a later console gets the same process
// number, the file names a live process: this one. It starts all the same.
TEST(SingleInstanceTest, ALockLeftUnderTheSameProcessNumberIsTakenOver)
{
    QTemporaryDir dir;
    const QString name = uniqueName() + QStringLiteral("d");
    const QString path = dir.filePath(name + QStringLiteral(".lock"));
    QByteArray left;
    {
        QLockFile earlier(path);
        ASSERT_TRUE(earlier.tryLock(0));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        left = file.readAll();
    }
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(left);
    file.close();

    SingleInstance console(name, dir.path());
    EXPECT_TRUE(console.acquire());
    // Held now, by this process: a second instance in it still finds it taken.
    SingleInstance second(name, dir.path());
    EXPECT_FALSE(second.acquire());
}

TEST(SingleInstanceTest, NobodyToNotifyIsReported)
{
    QTemporaryDir dir;
    SingleInstance lonely(uniqueName() + QStringLiteral("c"), dir.path());
    EXPECT_FALSE(lonely.notifyRunning(100));
}

} // namespace
} // namespace tarvo
