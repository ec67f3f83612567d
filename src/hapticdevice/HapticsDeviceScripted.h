#pragma once
// Replays a trajectory on the real haptic thread, for tests, demonstrations
// and benchmarks that need repeatable input. The clock starts at activate
// and runs only while the device is active; after the last sample the device
// stays at the last position.
#include "hapticdevice/HapticLoopDevice.h"
#include "hapticdevice/HapticTrajectory.h"

#include <atomic>

namespace Kiln {

class HapticsDeviceScripted : public HapticLoopDevice {
public:
    /// Throws as HapticTrajectory::load does.
    explicit HapticsDeviceScripted(const std::string& path, HapticLoop mode = HapticLoop::Thread);
    explicit HapticsDeviceScripted(HapticTrajectory trajectory,
                                   HapticLoop mode = HapticLoop::Thread);
    ~HapticsDeviceScripted() override;

    bool isConnected() override { return true; }
    /// True once the replay has passed the last sample.
    bool isFinished() const { return finished.load(std::memory_order_acquire); }
    const HapticTrajectory& getTrajectory() const { return trajectory; }

protected:
    bool pollDevice(double dt, const DeviceForce& pending, Vec3d& position,
                    std::int32_t& buttons) override;

private:
    const HapticTrajectory trajectory;
    double time = 0.0; // haptic thread only
    std::atomic<bool> finished{false};
};

} // namespace Kiln
