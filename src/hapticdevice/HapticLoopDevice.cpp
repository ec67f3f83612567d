#include "hapticdevice/HapticLoopDevice.h"

namespace Kiln {

HapticLoopDevice::HapticLoopDevice(double forceGain) : HapticsDevice(forceGain) {}

HapticLoopDevice::~HapticLoopDevice() { stopLoop(); }

bool HapticLoopDevice::activate() {
    enabled.store(true, std::memory_order_release);
    return true;
}

void HapticLoopDevice::deactivate() { enabled.store(false, std::memory_order_release); }

void HapticLoopDevice::startLoop(HapticLoop mode, bool realtime) {
    if (mode == HapticLoop::Thread)
        thread.start([this](double dt) { tick(dt); return true; }, periodMicros, realtime);
}

void HapticLoopDevice::stopLoop() { thread.stop(); }

void HapticLoopDevice::forgetRawPosition() {
    hasRawPosition = false;
    raw.velocity = Vec3d{};
}

DeviceForce HapticLoopDevice::getPendingForce() {
    const std::lock_guard<std::mutex> lock(pendingMutex);
    return pending;
}

void HapticLoopDevice::tick(double dt) {
    if (!enabled.load(std::memory_order_acquire))
        return;
    DeviceForce toSend;
    {
        const std::lock_guard<std::mutex> lock(pendingMutex);
        toSend = pending;
    }
    Vec3d position;
    std::int32_t buttons = 0;
    if (pollDevice(dt, toSend, position, buttons))
        updateRawSample(position, buttons, dt);
    const DeviceForce mixed = updateForces(raw, dt);
    {
        const std::lock_guard<std::mutex> lock(pendingMutex);
        pending = mixed;
    }
    activeTicks.fetch_add(1, std::memory_order_acq_rel);
}

void HapticLoopDevice::updateRawSample(const Vec3d& position, std::int32_t buttons, double dt) {
    // A non-finite reading is dropped whole: it must reach neither the
    // velocity nor, through the sample, the proxy.
    if (!isFinite(position))
        return;
    // The velocity needs two readings and a real interval; the very first
    // tick has dt = 0 and keeps the previous velocity.
    if (hasRawPosition && dt > 0.0)
        raw.velocity = (position - raw.position) * (1.0 / dt);
    raw.position = position;
    raw.orientation = Quatd{};
    raw.buttons = buttons;
    hasRawPosition = true;
}

} // namespace Kiln
