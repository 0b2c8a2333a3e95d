// The beep counter and the stoppable worker threads.
#include "comm/WorkerThreads.h"

#include <gtest/gtest.h>

#include <atomic>

namespace tarvo {
namespace {

using namespace std::chrono_literals;

TEST(WorkerThreadsTest, EachStepSoundsOnePendingBeep)
{
    int beeps = 0;
    ErrorBeepThread beeper([&beeps] { ++beeps; });
    EXPECT_EQ(beeper.step(), 1000ms);  // nothing pending: wait a second
    beeper.pendingBeeps = 5;
    EXPECT_EQ(beeper.step(), 500ms);
    EXPECT_EQ(beeper.step(), 500ms);
    EXPECT_EQ(beeper.pendingBeeps.load(), 3);
    beeper.pendingBeeps = 5;  // a new alarm restarts the count
    while (beeper.pendingBeeps.load() > 0)
        beeper.step();
    EXPECT_EQ(beeps, 7);  // two, then five more, not seven more
}

TEST(WorkerThreadsTest, StopEndsTheWaitAtOnce)
{
    std::atomic<int> passes{0};
    HeartbeatThread heartbeat([&passes] { ++passes; });
    heartbeat.start();
    while (passes.load() == 0)
        std::this_thread::yield();
    const auto before = std::chrono::steady_clock::now();
    heartbeat.stop();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 500ms);
    EXPECT_FALSE(heartbeat.running());
}

} // namespace
} // namespace tarvo
