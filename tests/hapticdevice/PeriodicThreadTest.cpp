#include "hapticdevice/PeriodicThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

using Kiln::PeriodicThread;

namespace {

void waitFor(const std::function<bool()>& done) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done() && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

} // namespace

TEST(PeriodicThread, FirstCallGetsZeroThenMeasuredIntervals) {
    std::mutex mutex;
    std::vector<double> intervals;
    PeriodicThread thread;
    thread.start(
        [&](double dt) {
            const std::lock_guard<std::mutex> lock(mutex);
            intervals.push_back(dt);
            return true;
        },
        1000);
    waitFor([&] {
        const std::lock_guard<std::mutex> lock(mutex);
        return intervals.size() >= 20;
    });
    thread.stop();
    EXPECT_FALSE(thread.isRunning());
    const std::size_t count = intervals.size();
    ASSERT_GE(count, 20u);
    EXPECT_EQ(intervals[0], 0.0);
    for (std::size_t i = 1; i < count; ++i)
        EXPECT_GT(intervals[i], 0.0) << "call " << i;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(intervals.size(), count) << "no call after stop returns";
}

TEST(PeriodicThread, CallbackStopsTheLoopAndStartRestartsIt) {
    std::atomic<int> calls{0};
    PeriodicThread thread;
    thread.start([&](double) { return ++calls < 3; }, 100);
    waitFor([&] { return !thread.isRunning(); });
    EXPECT_EQ(calls, 3);

    thread.start([&](double) { ++calls; return true; }, 100);
    waitFor([&] { return calls >= 6; });
    EXPECT_TRUE(thread.isRunning());
    thread.start([&](double) { return true; }, 100); // restart while running
    EXPECT_TRUE(thread.isRunning());
    thread.stop();
    thread.stop();
}
