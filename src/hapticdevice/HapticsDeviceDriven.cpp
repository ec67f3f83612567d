#include "hapticdevice/HapticsDeviceDriven.h"

#include <algorithm>
#include <cmath>

namespace Kiln {

HapticsDeviceDriven::HapticsDeviceDriven(HapticLoop mode) { startLoop(mode); }

HapticsDeviceDriven::~HapticsDeviceDriven() { stopLoop(); }

void HapticsDeviceDriven::moveTo(const Ogre::Vector3& devicePosition, double seconds,
                                 int buttons) {
    const Vec3d to(devicePosition.x, devicePosition.y, devicePosition.z);
    if (!isFinite(to) || !std::isfinite(seconds))
        return;
    const std::lock_guard<std::mutex> lock(motionMutex);
    motion.from = current;
    motion.to = to;
    motion.duration = std::max(seconds, 0.0);
    motion.elapsed = 0.0;
    motion.buttons = buttons;
    motion.started = true;
    motion.polled = false;
}

bool HapticsDeviceDriven::isSettled() {
    const std::lock_guard<std::mutex> lock(motionMutex);
    // Not before the loop has read the motion: a button change with no
    // movement would otherwise count as done before the device has it.
    return !motion.started || (motion.polled && motion.elapsed >= motion.duration);
}

Ogre::Vector3 HapticsDeviceDriven::worldToDevice(const Ogre::Vector3& world) {
    return worldPointToDevice(world);
}

bool HapticsDeviceDriven::pollDevice(double dt, const DeviceForce&, Vec3d& position,
                                     std::int32_t& buttons) {
    const std::lock_guard<std::mutex> lock(motionMutex);
    if (motion.started) {
        motion.elapsed = std::min(motion.elapsed + dt, motion.duration);
        const double f = motion.duration > 0.0 ? motion.elapsed / motion.duration : 1.0;
        current = motion.from + (motion.to - motion.from) * f;
        motion.polled = true;
    }
    position = current * getWorldScale();
    buttons = motion.buttons;
    return true;
}

} // namespace Kiln
