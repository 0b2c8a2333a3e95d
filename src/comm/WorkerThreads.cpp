// The heartbeat and beep threads.
#include "comm/WorkerThreads.h"


namespace tarvo {

using namespace std::chrono_literals;

void PeriodicThread::start(Step step)
{
    stop();
    {
        std::lock_guard lock(mutex);
        stopping = false;
    }
    thread = std::thread([this, step = std::move(step)] {
        std::unique_lock lock(mutex);
        while (!stopping) {
            lock.unlock();
            const auto wait = step();
            lock.lock();
            wake.wait_for(lock, wait, [this] { return stopping; });
        }
    });
}

void PeriodicThread::requestStop()
{
    {
        std::lock_guard lock(mutex);
        stopping = true;
    }
    wake.notify_all();
}

void PeriodicThread::stop()
{
    requestStop();
    if (thread.joinable())
        thread.join();
}

void HeartbeatThread::start()
{
    thread.start([this] {
        try {
            if (pass)
                pass();
        } catch (...) {
            // A failed pass ends silently; the next one comes a second later.
        }
        return std::chrono::milliseconds(1000);
    });
}

void ErrorBeepThread::start()
{
    thread.start([this] { return step(); });
}

std::chrono::milliseconds ErrorBeepThread::step()
{
    int pending = pendingBeeps.load();
    while (pending > 0 && !pendingBeeps.compare_exchange_weak(pending, pending - 1)) {
    }
    if (pending <= 0)
        return 1000ms;
    if (beep)
        beep();
    return 500ms;
}

} // namespace tarvo
