// The two worker threads of the console: the once-a-second heartbeat pass and the beeper.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/Beep.h"

namespace tarvo {

// A thread that runs `step` and then waits `period`, until stop() is asked. stop() wakes the
// wait at once and joins, so closing the console never waits a full period.
class PeriodicThread
{
public:
    using Step = std::function<std::chrono::milliseconds()>;

    PeriodicThread() = default;
    ~PeriodicThread() { stop(); }
    PeriodicThread(const PeriodicThread &) = delete;
    PeriodicThread &operator=(const PeriodicThread &) = delete;

    // `step` returns how long to wait before its next run.
    void start(Step step);
    // Asks the thread to end and waits for it; safe to call twice.
    void requestStop();
    void stop();
    bool running() const { return thread.joinable(); }

private:
    std::thread thread;
    std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false;
};

// Runs the heartbeat pass once per second.
class HeartbeatThread
{
public:
    // `pass` runs on the thread; it must hand GUI work over to the GUI thread itself.
    explicit HeartbeatThread(std::function<void()> pass) : pass(std::move(pass)) {}
    void start();
    void terminate() { thread.requestStop(); }
    void stop() { thread.stop(); }
    bool running() const { return thread.running(); }

private:
    std::function<void()> pass;
    PeriodicThread thread;
};

// Sounds the pending beeps: one beep, then half a second of quiet, per pending beep.
class ErrorBeepThread
{
public:
    // `beep` sounds one 750 Hz, 500 ms tone (blocking); tests count the calls.
    explicit ErrorBeepThread(std::function<void()> beep) : beep(std::move(beep)) {}
    void start();
    void terminate() { thread.requestStop(); }
    void stop() { thread.stop(); }
    bool running() const { return thread.running(); }

    // Set to 5 (not added to) by whoever raises the alarm.
    std::atomic<int> pendingBeeps{0};

    // One turn of the loop: beeps when a beep is pending; returns the wait before the next.
    std::chrono::milliseconds step();

private:
    std::function<void()> beep;
    PeriodicThread thread;
};

} // namespace tarvo
