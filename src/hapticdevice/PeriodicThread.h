#pragma once
// A thread that calls a function at a fixed period. Deadlines are absolute
// (CLOCK_MONOTONIC), so the rate does not drift with the time the callback
// takes; the interval handed to the callback is measured, not assumed.
#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

namespace Kiln {

class PeriodicThread {
public:
    /// Gets the measured seconds since the previous call (0 on the first
    /// call: callers must not divide by it); returns false to stop.
    using Callback = std::function<bool(double dt)>;

    PeriodicThread() = default;
    PeriodicThread(const PeriodicThread&) = delete;
    PeriodicThread& operator=(const PeriodicThread&) = delete;
    ~PeriodicThread() { stop(); }

    /// Stops a running loop first. periodMicros is clamped to at least 1.
    /// realtime asks for SCHED_FIFO scheduling; where the system refuses it
    /// (no rtprio limit, no CAP_SYS_NICE) the loop runs at normal priority.
    void start(Callback callback, std::int64_t periodMicros, bool realtime = false);
    /// Clears the running flag and joins; the callback is not called again
    /// once this returns. Harmless when not running. Must not be called from
    /// the callback itself (return false instead).
    void stop();
    bool isRunning() const { return running.load(std::memory_order_acquire); }
    /// Whether the running loop got real-time scheduling.
    bool isRealtime() const { return realtimeGranted.load(std::memory_order_acquire); }

private:
    void run(Callback callback, std::int64_t periodNanos, bool realtime);

    std::atomic<bool> running{false};
    std::atomic<bool> realtimeGranted{false};
    std::thread thread;
};

} // namespace Kiln
