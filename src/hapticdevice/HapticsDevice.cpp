#include "hapticdevice/HapticsDevice.h"

#include "log/Exception.h"

#include <algorithm>
#include <cmath>

namespace Kiln {
namespace {

Ogre::Vector3 toOgre(const Vec3d& v) {
    return {static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z)};
}

Vec3d toVec3d(const Ogre::Vector3& v) { return {v.x, v.y, v.z}; }

template <typename T>
void addUnique(std::vector<T*>& list, T* item) {
    if (item && std::find(list.begin(), list.end(), item) == list.end())
        list.push_back(item);
}

template <typename T>
void eraseFirst(std::vector<T*>& list, T* item) {
    const auto found = std::find(list.begin(), list.end(), item);
    if (found != list.end())
        list.erase(found);
}

bool isFinite(const DeviceForce& f) { return Kiln::isFinite(f.force) && Kiln::isFinite(f.torque); }

} // namespace

HapticsDevice::HapticsDevice(double forceGain_) : forceGain(forceGain_) {}

Ogre::Vector3 HapticsDevice::getDevicePosition() {
    const std::lock_guard<std::mutex> lock(stateMutex);
    return toOgre(deviceSample.position);
}

Ogre::Vector3 HapticsDevice::getDeviceVelocity() {
    const std::lock_guard<std::mutex> lock(stateMutex);
    return toOgre(deviceSample.velocity);
}

Ogre::Vector3 HapticsDevice::getPosition() {
    const std::lock_guard<std::mutex> lock(stateMutex);
    return toOgre(worldSample.position);
}

Ogre::Vector3 HapticsDevice::getVelocity() {
    const std::lock_guard<std::mutex> lock(stateMutex);
    return toOgre(worldSample.velocity);
}

Ogre::Quaternion HapticsDevice::getOrientation() {
    const std::lock_guard<std::mutex> lock(stateMutex);
    const Quatd& q = worldSample.orientation;
    return {static_cast<float>(q.w), static_cast<float>(q.x), static_cast<float>(q.y),
            static_cast<float>(q.z)};
}

int HapticsDevice::getButtons() {
    const std::lock_guard<std::mutex> lock(stateMutex);
    return worldSample.buttons;
}

void HapticsDevice::setDeviceTransform(const Ogre::Vector3& position,
                                       const Ogre::Quaternion& orientation,
                                       const Ogre::Vector3& offset) {
    const Mat3d r = rotationMatrix(Quatd{orientation.w, orientation.x, orientation.y, orientation.z});
    const Vec3d t = r * toVec3d(offset) + toVec3d(position);
    const Mat3d rt = r.transposed();
    const std::lock_guard<std::mutex> lock(stateMutex);
    rotation = r;
    translation = t;
    inverseRotation = rt;
    inverseTranslation = -(rt * t);
}

Ogre::Vector3 HapticsDevice::worldPointToDevice(const Ogre::Vector3& world) {
    const std::lock_guard<std::mutex> lock(stateMutex);
    return toOgre(inverseRotation * toVec3d(world) + inverseTranslation);
}

void HapticsDevice::setWorldScale(float scale) {
    if (!(std::isfinite(scale) && scale > 0.f))
        throw Exception(ErrorCode::Haptics, "The haptic world scale must be a positive number, not " +
                               std::to_string(scale) + ".",
                        "Kiln::HapticsDevice::setWorldScale()");
    worldScale.store(scale, std::memory_order_relaxed);
}

float HapticsDevice::getWorldScale() {
    return static_cast<float>(worldScale.load(std::memory_order_relaxed));
}

void HapticsDevice::addForceEffect(IHapticForceEffect* effect) {
    const std::lock_guard<std::mutex> lock(effectMutex);
    addUnique(deviceEffects, effect);
}

void HapticsDevice::addGlobalForceEffect(IGlobalForceEffect* effect) {
    const std::lock_guard<std::mutex> lock(effectMutex);
    addUnique(globalEffects, effect);
}

void HapticsDevice::removeForceEffect(IHapticForceEffect* effect) {
    {
        const std::lock_guard<std::mutex> lock(effectMutex);
        eraseFirst(deviceEffects, effect);
    }
    waitForRunningTick();
}

void HapticsDevice::removeGlobalForceEffect(IGlobalForceEffect* effect) {
    {
        const std::lock_guard<std::mutex> lock(effectMutex);
        eraseFirst(globalEffects, effect);
    }
    waitForRunningTick();
}

void HapticsDevice::waitForRunningTick() {
    // From inside an effect the tick is our own caller: waiting would hang.
    if (tickThread.load(std::memory_order_relaxed) == std::this_thread::get_id())
        return;
    const std::lock_guard<std::mutex> waitForTick(tickMutex);
}

DeviceSample HapticsDevice::getWorldSample() {
    const std::lock_guard<std::mutex> lock(stateMutex);
    return worldSample;
}

DeviceSample HapticsDevice::getDeviceSample() {
    const std::lock_guard<std::mutex> lock(stateMutex);
    return deviceSample;
}

void HapticsDevice::storeSample(const DeviceSample& raw) {
    if (!isFinite(raw.position) || !isFinite(raw.velocity))
        return;
    const double inverseScale = 1.0 / worldScale.load(std::memory_order_relaxed);
    const std::lock_guard<std::mutex> lock(stateMutex);
    deviceSample = raw;
    deviceSample.position *= inverseScale;
    deviceSample.velocity *= inverseScale;
    worldSample.position = rotation * deviceSample.position + translation;
    worldSample.velocity = rotation * deviceSample.velocity;
    worldSample.orientation = fixedOrientation * raw.orientation;
    worldSample.buttons = raw.buttons;
}

void HapticsDevice::mixGlobalForces(DeviceForce& out, double dt) {
    ForceTorque buffer;
    for (IGlobalForceEffect* effect : tickGlobalEffects) {
        buffer = ForceTorque{};
        effect->computeWorldForce(buffer, *this, static_cast<float>(dt));
        out.force += Vec3d(buffer.force[0], buffer.force[1], buffer.force[2]);
        out.torque += Vec3d(buffer.torque[0], buffer.torque[1], buffer.torque[2]);
    }
    Mat3d toDevice;
    {
        const std::lock_guard<std::mutex> lock(stateMutex);
        toDevice = inverseRotation;
    }
    out.force = toDevice * out.force * worldScale.load(std::memory_order_relaxed);
    out.torque = toDevice * out.torque;
}

void HapticsDevice::mixDeviceForces(DeviceForce& out) {
    for (IHapticForceEffect* effect : tickDeviceEffects) {
        Ogre::Vector3 force = Ogre::Vector3::ZERO;
        out.force += toVec3d(effect->computeForce(force, *this));
    }
}

DeviceForce HapticsDevice::updateForces(const DeviceSample& raw, double dt) {
    tickThread.store(std::this_thread::get_id(), std::memory_order_relaxed);
    storeSample(raw);

    DeviceForce out;
    const std::lock_guard<std::mutex> tickLock(tickMutex);
    {
        const std::lock_guard<std::mutex> lock(effectMutex);
        tickGlobalEffects.assign(globalEffects.begin(), globalEffects.end());
        tickDeviceEffects.assign(deviceEffects.begin(), deviceEffects.end());
    }
    mixGlobalForces(out, dt);
    mixDeviceForces(out);
    if (!isFinite(out))
        out = DeviceForce{};
    return out;
}

} // namespace Kiln
