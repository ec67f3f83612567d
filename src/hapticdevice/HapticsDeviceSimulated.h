#pragma once
// A virtual hand for machines without a haptic device: a mass on a spring
// pulled towards a target that the program sets (the mouse, a test), which
// also feels the device force. The stylus therefore rests on surfaces the way
// a real hand holding a real device would.
#include "hapticdevice/HapticLoopDevice.h"

#include <mutex>

namespace Kiln {

/// Physical constants of the virtual hand, in SI units and device axes.
struct SimulatedHand {
    double mass = 0.1;          ///< kg
    double stiffness = 200.0;   ///< N/m, pull towards the target
    double damping = 7.0;       ///< N s/m, close to critical for the values above
    Vec3d weight{0.0, -0.7, 0.0}; ///< N; the grip's weight, cancelled by gravity compensation
};

class HapticsDeviceSimulated : public HapticLoopDevice {
public:
    explicit HapticsDeviceSimulated(const SimulatedHand& hand = SimulatedHand{},
                                    HapticLoop mode = HapticLoop::Thread);
    ~HapticsDeviceSimulated() override;

    bool isConnected() override { return true; }

    /// Where the hand wants to be, in device-frame units (as
    /// getDevicePosition reports them). Non-finite targets are ignored.
    void setTarget(const Ogre::Vector3& devicePosition);
    void setButtons(int buttons);

protected:
    bool pollDevice(double dt, const DeviceForce& pending, Vec3d& position,
                    std::int32_t& buttons) override;

private:
    void integrate(const Vec3d& force, const Vec3d& targetMetres, double dt);

    const SimulatedHand hand;
    std::mutex inputMutex;
    Vec3d target;
    std::int32_t inputButtons = 0;

    // Haptic thread only.
    Vec3d handPosition;
    Vec3d handVelocity;
};

} // namespace Kiln
