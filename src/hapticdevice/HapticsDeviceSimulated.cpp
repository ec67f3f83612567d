#include "hapticdevice/HapticsDeviceSimulated.h"

#include <algorithm>
#include <cmath>

namespace Kiln {
namespace {

// Explicit integration of a stiff spring is stable only for short steps; a
// stalled tick is integrated in pieces of at most this length.
constexpr double maxStep = 0.001;

} // namespace

HapticsDeviceSimulated::HapticsDeviceSimulated(const SimulatedHand& hand_, HapticLoop mode)
    : hand(hand_) {
    startLoop(mode);
}

HapticsDeviceSimulated::~HapticsDeviceSimulated() { stopLoop(); }

void HapticsDeviceSimulated::setTarget(const Ogre::Vector3& devicePosition) {
    const Vec3d value(devicePosition.x, devicePosition.y, devicePosition.z);
    if (!isFinite(value))
        return;
    const std::lock_guard<std::mutex> lock(inputMutex);
    target = value;
}

void HapticsDeviceSimulated::setButtons(int buttons) {
    const std::lock_guard<std::mutex> lock(inputMutex);
    inputButtons = buttons;
}

bool HapticsDeviceSimulated::pollDevice(double dt, const DeviceForce& pending, Vec3d& position,
                                        std::int32_t& buttons) {
    Vec3d targetUnits;
    {
        const std::lock_guard<std::mutex> lock(inputMutex);
        targetUnits = target;
        buttons = inputButtons;
    }
    const Vec3d targetMetres = targetUnits * getWorldScale();
    for (double left = dt; left > 0.0;) {
        const double step = std::min(left, maxStep);
        integrate(pending.force, targetMetres, step);
        left -= step;
    }
    position = handPosition;
    return true;
}

void HapticsDeviceSimulated::integrate(const Vec3d& deviceForce, const Vec3d& targetMetres,
                                       double dt) {
    const Vec3d force = deviceForce + (targetMetres - handPosition) * hand.stiffness -
                        handVelocity * hand.damping + hand.weight;
    handVelocity += force * (dt / hand.mass);
    handPosition += handVelocity * dt;
}

} // namespace Kiln
