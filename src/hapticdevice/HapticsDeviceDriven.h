#pragma once
// A device whose handle the program itself moves: each call of moveTo
// starts a straight, even motion that the haptic thread follows tick by
// tick. Session scripts drive the stylus through it, so that a scripted
// press feels exactly like a hand that holds its position: the proxy stops
// on the surface and the renderer pushes back.
#include "hapticdevice/HapticLoopDevice.h"

#include <mutex>

namespace Kiln {

class HapticsDeviceDriven : public HapticLoopDevice {
public:
    explicit HapticsDeviceDriven(HapticLoop mode = HapticLoop::Thread);
    ~HapticsDeviceDriven() override;

    bool isConnected() override { return true; }

    /// Moves the handle from where it is now to `devicePosition` (device
    /// frame units, as getDevicePosition reports them) over `seconds`
    /// (<= 0: at the next tick), holding `buttons` from the next tick on.
    /// Non-finite positions or durations are ignored.
    void moveTo(const Ogre::Vector3& devicePosition, double seconds, int buttons);
    /// True once the last motion has reached its end.
    bool isSettled();

    /// The device-frame point of a world point under the current device
    /// transform.
    Ogre::Vector3 worldToDevice(const Ogre::Vector3& world);

protected:
    bool pollDevice(double dt, const DeviceForce& pending, Vec3d& position,
                    std::int32_t& buttons) override;

private:
    struct Motion {
        Vec3d from;
        Vec3d to;
        double duration = 0.0;
        double elapsed = 0.0;
        std::int32_t buttons = 0;
        bool started = false;
        bool polled = false;  ///< the device loop has read this motion once
    };

    std::mutex motionMutex;
    Motion motion;        // guarded by motionMutex
    Vec3d current;        // guarded by motionMutex (units, device frame)
};

} // namespace Kiln
