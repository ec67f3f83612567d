#include "hapticdevice/falcon/HapticsDeviceFalcon.h"

#include "log/Exception.h"

namespace Kiln {

using namespace falcon;

std::int32_t gripButtonsToMask(std::uint8_t gripBits) {
    std::int32_t mask = 0;
    if (gripBits & gripCenter)
        mask |= 1;
    if (gripBits & gripMinus)
        mask |= 2;
    if (gripBits & gripForward)
        mask |= 4;
    if (gripBits & gripPlus)
        mask |= 8;
    return mask;
}

HapticsDeviceFalcon::HapticsDeviceFalcon(FalconDeviceOptions options)
    : port(options.port ? options.port : makeFtdiPort()), openOptions(options.open) {
    OpenedDevice opened = openDevice(*port, openOptions);
    driver = std::move(opened.driver);
    firmwareLoaded = opened.firmwareLoaded;
    connected.store(true, std::memory_order_release);
    startLoop(options.loop, true);
}

HapticsDeviceFalcon::~HapticsDeviceFalcon() { stopLoop(); }

std::string HapticsDeviceFalcon::getLastError() {
    const std::lock_guard<std::mutex> lock(errorMutex);
    return lastError;
}

falcon::ExchangeCounters HapticsDeviceFalcon::getCounters() {
    const std::lock_guard<std::mutex> lock(driverMutex);
    return counters;
}

bool HapticsDeviceFalcon::activate() {
    if (!isConnected() && !reopen())
        return false;
    return HapticLoopDevice::activate();
}

bool HapticsDeviceFalcon::reopen() {
    const std::lock_guard<std::mutex> lock(driverMutex);
    driver.reset();
    try {
        OpenedDevice opened = openDevice(*port, openOptions);
        driver = std::move(opened.driver);
    } catch (const Exception& error) {
        const std::lock_guard<std::mutex> errorLock(errorMutex);
        lastError = error.getDescription();
        return false;
    }
    // The arms lost their reference with the power: home again, and start
    // the position search afresh.
    homed.store(false, std::memory_order_release);
    tracker.reset();
    connected.store(true, std::memory_order_release);
    return true;
}

Command HapticsDeviceFalcon::nextCommand(const DeviceForce& pending) const {
    Command command;
    // Homing stays requested in every command, or the device forgets it.
    command.control = controlHoming;
    if (homed.load(std::memory_order_relaxed) && tracker.isValid()) {
        command.control |= controlGreenLed;
        // Forces only from a position measured after homing: the counts
        // jump when an arm finds its reference, and a force computed across
        // that jump would throw the grip.
        forceToCommands(tracker.getPose(), pending.force, command.motor);
    } else {
        command.control |= controlRedLed;
    }
    return command;
}

bool HapticsDeviceFalcon::pollDevice(double, const DeviceForce& pending, Vec3d& position,
                                     std::int32_t& buttons) {
    const std::unique_lock<std::mutex> lock(driverMutex, std::try_to_lock);
    if (!lock.owns_lock() || !driver)
        return false;
    if (driver->isLost()) {
        connected.store(false, std::memory_order_release);
        return false;
    }
    Status status;
    const bool received = driver->exchange(nextCommand(pending), status, replyWaitMicros);
    counters = driver->getCounters();
    if (driver->isLost()) {
        connected.store(false, std::memory_order_release);
        return false;
    }
    if (!received)
        return false;
    if (!status.isHomed()) {
        if (homed.exchange(false, std::memory_order_acq_rel))
            tracker.reset();
        return false;
    }
    if (!homed.exchange(true, std::memory_order_acq_rel)) {
        // Homing moved the coordinates: the jump from the last sample is
        // not a motion of the hand.
        tracker.reset();
        forgetRawPosition();
    }
    if (!tracker.update(status.encoder))
        return false;
    const Vec3d& p = tracker.getPosition();
    position = {p.x, p.y, p.z - workspaceCentreZ};
    buttons = gripButtonsToMask(status.grip);
    return true;
}

} // namespace Kiln
