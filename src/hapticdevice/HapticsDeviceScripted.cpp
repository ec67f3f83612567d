#include "hapticdevice/HapticsDeviceScripted.h"

namespace Kiln {

HapticsDeviceScripted::HapticsDeviceScripted(const std::string& path, HapticLoop mode)
    : HapticsDeviceScripted(HapticTrajectory::load(path), mode) {}

HapticsDeviceScripted::HapticsDeviceScripted(HapticTrajectory trajectory_, HapticLoop mode)
    : trajectory(std::move(trajectory_)) {
    startLoop(mode);
}

HapticsDeviceScripted::~HapticsDeviceScripted() { stopLoop(); }

bool HapticsDeviceScripted::pollDevice(double dt, const DeviceForce&, Vec3d& position,
                                       std::int32_t& buttons) {
    time += dt;
    position = trajectory.positionAt(time) * getWorldScale();
    buttons = trajectory.buttonsAt(time);
    if (time >= trajectory.duration())
        finished.store(true, std::memory_order_release);
    return true;
}

} // namespace Kiln
