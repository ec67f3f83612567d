#pragma once
// Everything about a device that does not depend on the hardware: the state
// sample shared between the haptic and main threads, the device transform,
// the two effect lists and the mixing of their forces.
#include "hapticdevice/HapticForceEffect.h"
#include "hapticdevice/IHapticsDevice.h"

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace Kiln {

/// Device-frame force and torque sent to the hardware.
struct DeviceForce {
    Vec3d force;
    Vec3d torque;
};

class HapticsDevice : public IHapticsDevice {
public:
    /// forceGain: see getForceGain (800 suits a Falcon-like device: 1 world
    /// unit of penetration at scale 0.005 pushes back with 4 N).
    explicit HapticsDevice(double forceGain = 800.0);

    Ogre::Vector3 getDevicePosition() override;
    Ogre::Vector3 getDeviceVelocity() override;
    Ogre::Vector3 getPosition() override;
    Ogre::Vector3 getVelocity() override;
    Ogre::Quaternion getOrientation() override;
    int getButtons() override;

    void setDeviceTransform(const Ogre::Vector3& position, const Ogre::Quaternion& orientation,
                            const Ogre::Vector3& offset) override;
    /// Throws Kiln::Exception (code 6) for a scale that is not positive and finite.
    void setWorldScale(float scale) override;
    float getWorldScale() override;

    void addForceEffect(IHapticForceEffect* effect) override;
    void addGlobalForceEffect(IGlobalForceEffect* effect) override;
    void removeForceEffect(IHapticForceEffect* effect) override;
    void removeGlobalForceEffect(IGlobalForceEffect* effect) override;

    /// The device-frame point (units, not metres) that the current device
    /// transform places at `world`.
    Ogre::Vector3 worldPointToDevice(const Ogre::Vector3& world);

    DeviceSample getWorldSample() override;
    DeviceSample getDeviceSample();
    double getForceGain() override { return forceGain.load(std::memory_order_relaxed); }
    void setForceGain(double gain) { forceGain.store(gain, std::memory_order_relaxed); }

    /// One tick: takes the raw sample (metres, device axes) into the device
    /// and world samples, then mixes the forces of every effect into a
    /// device-frame force. A raw sample with a non-finite position or
    /// velocity is dropped (the previous sample stays); a mixed force that is
    /// not finite comes out as zero.
    DeviceForce updateForces(const DeviceSample& raw, double dt);

private:
    void storeSample(const DeviceSample& raw);
    void mixGlobalForces(DeviceForce& out, double dt);
    void mixDeviceForces(DeviceForce& out);
    void waitForRunningTick();

    std::atomic<double> forceGain;

    std::mutex stateMutex;
    DeviceSample worldSample;
    DeviceSample deviceSample;
    Mat3d rotation;
    Vec3d translation;
    Mat3d inverseRotation;
    Vec3d inverseTranslation;
    Quatd fixedOrientation;

    std::mutex effectMutex;
    std::vector<IGlobalForceEffect*> globalEffects;
    std::vector<IHapticForceEffect*> deviceEffects;

    // Held by a tick from copying the effect lists until the last effect
    // returns, so that a remove can wait for a tick that may still call the
    // removed effect.
    std::mutex tickMutex;
    std::atomic<std::thread::id> tickThread;
    std::vector<IGlobalForceEffect*> tickGlobalEffects;
    std::vector<IHapticForceEffect*> tickDeviceEffects;

    std::atomic<double> worldScale{1.0};
};

} // namespace Kiln
