// Runs Qt's event loop until a condition holds or a time-out passes.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>

#include <functional>

namespace tarvo::test {

// True once `condition` holds; false when `limitMs` passed first.
inline bool processUntil(const std::function<bool()> &condition, int limitMs = 5000)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > limitMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

} // namespace tarvo::test
