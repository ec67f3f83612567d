#include "hapticdevice/PeriodicThread.h"

#include <pthread.h>
#include <sched.h>

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

// High enough to preempt ordinary real-time helpers (audio runs near 50-70),
// below the kernel's own threads at 99.
constexpr int realtimePriority = 80;

bool requestRealtime() {
    sched_param param{};
    param.sched_priority = std::min(realtimePriority, sched_get_priority_max(SCHED_FIFO));
    return pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
}

} // namespace

void PeriodicThread::start(Callback callback, std::int64_t periodMicros, bool realtime) {
    stop();
    running.store(true, std::memory_order_release);
    const std::int64_t periodNanos = std::max<std::int64_t>(periodMicros, 1) * 1000;
    realtimeGranted.store(false, std::memory_order_release);
    thread = std::thread(&PeriodicThread::run, this, std::move(callback), periodNanos, realtime);
}

void PeriodicThread::stop() {
    running.store(false, std::memory_order_release);
    if (thread.joinable())
        thread.join();
}

void PeriodicThread::run(Callback callback, std::int64_t periodNanos, bool realtime) {
    pthread_setname_np(pthread_self(), "haptics");
    if (realtime)
        realtimeGranted.store(requestRealtime(), std::memory_order_release);
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
