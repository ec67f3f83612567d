#pragma once
// The device the rest of the program talks to. Two frames: the device frame
// (handle travel in metres divided by the world scale) and the world frame
// (the device frame placed by the device transform).
#include "hapticdevice/HapticMath.h"

#include <OgreQuaternion.h>
#include <OgreVector3.h>

#include <cstdint>

namespace Kiln {

class IHapticForceEffect;
class IGlobalForceEffect;

/// One reading of the device, in double precision.
struct DeviceSample {
    Vec3d position;
    Vec3d velocity;
    Quatd orientation;
    std::int32_t buttons = 0;
};

class IHapticsDevice {
public:
    virtual ~IHapticsDevice() = default;

    virtual Ogre::Vector3 getDevicePosition() = 0;
    virtual Ogre::Vector3 getDeviceVelocity() = 0;
    virtual Ogre::Vector3 getPosition() = 0;
    virtual Ogre::Vector3 getVelocity() = 0;
    virtual Ogre::Quaternion getOrientation() = 0;
    virtual int getButtons() = 0;

    /// Places the device frame: its origin goes to position + R * offset,
    /// with R the rotation of `orientation` (need not be unit length).
    virtual void setDeviceTransform(const Ogre::Vector3& position,
                                    const Ogre::Quaternion& orientation,
                                    const Ogre::Vector3& offset) = 0;
    /// Metres of device travel per world unit; must be positive and finite.
    virtual void setWorldScale(float scale) = 0;
    virtual float getWorldScale() = 0;

    /// Effects are not owned. Adding one twice keeps one entry. After a
    /// remove returns, the haptic thread no longer calls the effect, so the
    /// caller may destroy it (do not call it while holding a lock that an
    /// effect takes).
    virtual void addForceEffect(IHapticForceEffect* effect) = 0;
    virtual void addGlobalForceEffect(IGlobalForceEffect* effect) = 0;
    virtual void removeForceEffect(IHapticForceEffect* effect) = 0;
    virtual void removeGlobalForceEffect(IGlobalForceEffect* effect) = 0;

    virtual bool isConnected() = 0;
    /// Starts polling and force output; false when the device refuses.
    virtual bool activate() = 0;
    virtual void deactivate() = 0;

    /// World-frame sample, copied under the state lock (haptic thread).
    virtual DeviceSample getWorldSample() = 0;
    /// Factor from the renderer's summed contact depth to world force.
    virtual double getForceGain() = 0;
};

} // namespace Kiln
