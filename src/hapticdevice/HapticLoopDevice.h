#pragma once
// A device driven by its own 1 kHz haptic thread: each tick polls the
// hardware (or what stands in for it) with the force of the previous tick,
// then mixes the new force. Concrete devices supply pollDevice and start the
// loop at the end of their constructor and stop it at the start of their
// destructor, so that the thread never calls into a half-built object.
#include "hapticdevice/HapticsDevice.h"
#include "hapticdevice/PeriodicThread.h"

#include <atomic>
#include <cstdint>
#include <mutex>

namespace Kiln {

enum class HapticLoop {
    Thread, ///< ticks run on the device's own thread every millisecond
    Manual  ///< no thread: the owner calls tick (tests and benchmarks)
};

class HapticLoopDevice : public HapticsDevice {
public:
    static constexpr std::int64_t periodMicros = 1000;

    ~HapticLoopDevice() override;

    bool activate() override;
    void deactivate() override;
    bool isActive() const { return enabled.load(std::memory_order_acquire); }

    /// One tick with the measured interval dt (seconds). Ticks before
    /// activate leave the sample and the pending force untouched.
    void tick(double dt);

    /// The force the last tick computed, sent at the next one.
    DeviceForce getPendingForce();
    /// Ticks that polled the device since construction.
    std::uint64_t getActiveTickCount() const { return activeTicks.load(std::memory_order_acquire); }
    /// Whether the haptic thread runs with real-time scheduling.
    bool isRealtime() const { return thread.isRealtime(); }

protected:
    explicit HapticLoopDevice(double forceGain = 800.0);

    /// Hands the force to the hardware and reads it back. Fills position
    /// (metres, device axes) and buttons and returns true, or returns false
    /// to keep the previous reading (for example while not homed).
    virtual bool pollDevice(double dt, const DeviceForce& pending, Vec3d& position,
                            std::int32_t& buttons) = 0;

    /// realtime: ask for real-time scheduling (see PeriodicThread::start).
    void startLoop(HapticLoop mode, bool realtime = false);
    /// Haptic thread: the next reading starts afresh with zero velocity, for
    /// hardware whose coordinates jump (a device that homed again).
    void forgetRawPosition();
    void stopLoop();

private:
    void updateRawSample(const Vec3d& position, std::int32_t buttons, double dt);

    PeriodicThread thread;
    std::atomic<bool> enabled{false};
    std::atomic<std::uint64_t> activeTicks{0};
    DeviceSample raw;
    bool hasRawPosition = false;

    std::mutex pendingMutex;
    DeviceForce pending;
};

} // namespace Kiln
