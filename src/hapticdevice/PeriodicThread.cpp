#include "hapticdevice/PeriodicThread.h"

#include <pthread.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <utility>

namespace Kiln {
namespace {

constexpr std::int64_t nanosPerSecond = 1000000000;

std::int64_t monotonicNanos() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * nanosPerSecond + now.tv_nsec;
}

void sleepUntil(std::int64_t deadlineNanos) {
    timespec deadline{};
    deadline.tv_sec = static_cast<time_t>(deadlineNanos / nanosPerSecond);
    deadline.tv_nsec = static_cast<long>(deadlineNanos % nanosPerSecond);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
    }
}

} // namespace

void PeriodicThread::start(Callback callback, std::int64_t periodMicros) {
    stop();
    running.store(true, std::memory_order_release);
    const std::int64_t periodNanos = std::max<std::int64_t>(periodMicros, 1) * 1000;
    thread = std::thread(&PeriodicThread::run, this, std::move(callback), periodNanos);
}

void PeriodicThread::stop() {
    running.store(false, std::memory_order_release);
    if (thread.joinable())
        thread.join();
}

void PeriodicThread::run(Callback callback, std::int64_t periodNanos) {
    pthread_setname_np(pthread_self(), "haptics");
    std::int64_t lastWake = monotonicNanos();
    std::int64_t deadline = lastWake;
    double dt = 0.0;
    while (running.load(std::memory_order_acquire)) {
        if (!callback(dt)) {
            running.store(false, std::memory_order_release);
            break;
        }
        deadline += periodNanos;
        // After a stall, start afresh instead of firing a burst of late ticks.
        const std::int64_t now = monotonicNanos();
        if (deadline < now - periodNanos)
            deadline = now;
        sleepUntil(deadline);
        const std::int64_t wake = monotonicNanos();
        dt = static_cast<double>(wake - lastWake) / nanosPerSecond;
        lastWake = wake;
    }
}

} // namespace Kiln
