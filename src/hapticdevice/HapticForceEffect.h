#pragma once
// Force effects: the pieces of code the device calls on its haptic thread to
// build the force it sends to the hand.
#include <OgreVector3.h>

namespace Kiln {

class IHapticsDevice;

/// World-frame force and torque from one global effect (floats, as the
/// engine's types are at every other interface).
struct ForceTorque {
    float force[3] = {0.f, 0.f, 0.f};
    float torque[3] = {0.f, 0.f, 0.f};
};

/// An effect that works in the device frame; its result is added to the
/// device force unchanged.
class IHapticForceEffect {
public:
    virtual ~IHapticForceEffect() = default;
    /// Called on the haptic thread; writes and returns `force`.
    virtual Ogre::Vector3& computeForce(Ogre::Vector3& force, IHapticsDevice& device) = 0;
};

/// An effect that works in the world frame (the proxy renderer, navigation).
/// `out` arrives zeroed for every call, so an effect may write only the
/// parts it produces.
class IGlobalForceEffect {
public:
    virtual ~IGlobalForceEffect() = default;
    /// Called on the haptic thread; dt is the measured tick interval in
    /// seconds (0 on the very first tick).
    virtual void computeWorldForce(ForceTorque& out, IHapticsDevice& device, float dt) = 0;
};

} // namespace Kiln
